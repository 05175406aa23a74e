// msvc-host: a terminal program built in the Microsoft C++ ABI, as Visual C++
// builds them, that uses seatenrol.dll through seatenrol.lib and the public
// headers only.
//
//   msvc-host encode                          the request and the answer the
//                                             library encodes from fixed fields,
//                                             as hexadecimal lines
//   msvc-host constructors                    every constructor, called through
//                                             its import slot, returns `this`
//   msvc-host VENUE_ID SECRET SERVER PORT     one exchange through
//                                             CP2PCommunication, then enrols
//                                             through the C interface and
//                                             through CRegisterSession
//
// The same source builds natively, so the encoded bytes can be compared with
// the native build's. Exit status: 0 done (enrolled), 1 a check failed,
// 2 not enrolled, 64 bad command line.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <winsock2.h>

#include "constructor_check.h"
#endif

#include "seatenrol/c_api.h"
#include "seatenrol/seatenrol.h"
#include "seatenrol/version.h"
#include "secret_text.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitNotEnrolled = 2;
constexpr int kExitUsage = 64;

constexpr unsigned int kBufferSize = 1024;
constexpr int kVenueIDWidth = 20;
constexpr int kWaitMs = 5000;
// The server refuses a venue it does not know, and a wrong secret, with these.
constexpr int kUnknownVenue = -5;
constexpr int kWrongSecret = -4;

unsigned char* Bytes(const char* text) {
  return reinterpret_cast<unsigned char*>(const_cast<char*>(text));
}

int Length(const char* text) { return static_cast<int>(strlen(text)); }

void PrintHex(const char* label, const CBuf& buf) {
  printf("%s ", label);
  const unsigned char* data = buf.GetData();
  for (unsigned int i = 0; i < buf.GetDataLen(); ++i) printf("%02x", data[i]);
  printf("\n");
}

// Every field set, so that each setter and the whole layout are compared.
void FillRequest(CPSCRegisterCommand& request, const char* venueID) {
  unsigned char mac[6] = {0x00, 0x1c, 0x42, 0x9a, 0x07, 0xe3};
  unsigned char block[32];
  for (int i = 0; i < 32; ++i) block[i] = static_cast<unsigned char>(0xa0 + i);
  request.SetUserType(2);
  request.SetUserLevel(Bytes("10"), 2);
  request.SetCountryID(Bytes("86"), 2);
  request.SetProvinceID(Bytes("44"), 2);
  request.SetCityID(Bytes("4403"), 4);
  request.SetAreaID(Bytes("440305"), 6);
  request.SetCompanyID(Bytes(venueID), Length(venueID));
  request.SetLocalIP("192.168.31.7");
  request.SetLocalMAC(mac, 6);
  request.SetHostName(Bytes("SEAT-07"), 7);
  request.SetMachineCharacteristic(Bytes("001C429A07E3"), 12);
  request.SetSerialID(block, 32);
  request.SetSerialPassword(Bytes("pass-0007"), 9);
  request.SetUserID(Bytes("user-7"), 6);
  request.SetPeerUserID(Bytes("peer-7"), 6);
  request.SetCommandReserve(Bytes("rsv"), 3);
  request.SetCommandVer(3);
}

int Encode() {
  CPSCRegisterCommand filled;
  FillRequest(filled, "44030500012345");
  // Through the copy constructor and the assignment, as a caller may.
  CPSCRegisterCommand copied(filled);
  CPSCRegisterCommand request;
  request = copied;
  CBuf buf;
  if (!buf.Alloc(kBufferSize) || !request.GetByteBuf(buf)) return kExitFailed;
  PrintHex("request", buf);

  RegError result;
  result.SetResponseCommandID(128);
  result.SetErrorNo(7);
  result.SetInfoFlag(1);
  result.SetCompanyID(Bytes("44030500012345"), 14);
  result.SetLocalIP(0x071fa8c0);
  result.SetHostName(Bytes("SEAT-07"), 7);
  unsigned char info[52];
  for (int i = 0; i < 52; ++i) info[i] = static_cast<unsigned char>(i * 5);
  result.SetErrorInfo(info, 52);
  CResponseCommandReg answer;
  answer.SetP2PError(&result);
  answer.SetUserID(Bytes("server"), 6);
  answer.SetCommandVer(1);
  CBuf answerBytes;
  if (!answerBytes.Alloc(kBufferSize) || !answer.GetByteBuf(answerBytes)) return kExitFailed;
  PrintHex("answer", answerBytes);

  // Read back through Create, it must give the same record.
  CResponseCommandReg parsed;
  if (!parsed.Create(&answerBytes)) return kExitFailed;
  RegError back(*parsed.GetP2PError());
  printf("parsed error %d flag %d info %d\n", back.GetErrorNo(), back.GetInfoFlag(),
         back.GetErrorInfoLen());
  return kExitDone;
}

#if defined(_WIN32)
int Constructors() {
  int failed = 0;
  for (int i = 0; i < kConstructorCount; ++i) {
    if (!kConstructors[i].check(kConstructors[i].slot)) {
      printf("constructor %s does not return this\n", kConstructors[i].name);
      ++failed;
    }
  }
  printf("constructors: %d of %d return this\n", kConstructorCount - failed, kConstructorCount);
  return failed == 0 && kConstructorCount > 0 ? kExitDone : kExitFailed;
}
#endif

// A request from an unknown venue sent by hand: SetPeerAddr takes its
// address by value, which the two ABIs pass differently. The server must
// answer with its refusal.
int Exchange(const char* server, int port) {
  CSocketAddress address;
  if (!address.SetIP(server) || !address.SetPort(port)) {
    printf("msvc-host: %s:%d is not an address\n", server, port);
    return kExitFailed;
  }
  CP2PCommunication endpoint;
  if (!endpoint.Open(2) || !endpoint.SetPeerAddr(address)) {
    printf("msvc-host: no endpoint for %s:%d\n", address.GetIP(), address.GetPort());
    return kExitFailed;
  }
  CPSCRegisterCommand request;
  FillRequest(request, "no-such-venue");
  CBuf buf;
  if (!buf.Alloc(kBufferSize) || !request.GetByteBuf(buf)) return kExitFailed;
  const int length = static_cast<int>(buf.GetDataLen());
  if (endpoint.SendTo(reinterpret_cast<const char*>(buf.GetData()), length) != length) {
    printf("msvc-host: the request was not sent\n");
    return kExitFailed;
  }
  buf.Reset();
  const int received = endpoint.RecvFrom(reinterpret_cast<char*>(buf.GetData()),
                                         static_cast<int>(buf.GetCapacity()), kWaitMs);
  CResponseCommandReg answer;
  if (received <= 0 || !buf.SetDataLen(static_cast<unsigned int>(received)) ||
      !answer.Create(&buf) || answer.GetP2PError()->GetErrorNo() != kUnknownVenue) {
    printf("msvc-host: no refusal of the unknown venue (%d bytes)\n", received);
    return kExitFailed;
  }
  endpoint.Close();
  printf("msvc-host: an unknown venue was refused by %s:%d\n", address.GetIP(), address.GetPort());
  return kExitDone;
}

void SEATENROL_CDECL ShowDebugMessage(const char* text, void*) { printf("debug: %s\n", text); }

// The C interface, __stdcall on i686 and imported by its plain name: its
// version must be the headers', and one enrolment must end as the C++ one
// after it does (accepted, or refused for a wrong secret).
int EnrolThroughC(const unsigned char* secret, const char* venueID, const char* server, int port,
                  seatenrol_enrolment& result) {
  if (strcmp(seatenrol_version(), SEATENROL_VERSION_STRING) != 0) {
    printf("msvc-host: seatenrol_version gives %s, the headers %s\n", seatenrol_version(),
           SEATENROL_VERSION_STRING);
    return -1;
  }
  memset(&result, 0, sizeof result);
  result.size = sizeof result;
  const int outcome = seatenrol_enrol(venueID, secret, server, port, &result);
  printf("msvc-host: seatenrol_enrol: %s (server error %d)\n", seatenrol_outcome_text(outcome),
         static_cast<int>(result.error_no));
  return outcome;
}

int Enrol(char** argv) {
  unsigned char venueID[kVenueIDWidth + 1] = {};
  const int venueLength = Length(argv[1]);
  if (venueLength == 0 || venueLength > kVenueIDWidth) return kExitUsage;
  memcpy(venueID, argv[1], static_cast<size_t>(venueLength));
  unsigned char secret[EXAMPLE_SECRET_SIZE] = {};
  if (!ExampleParseSecret(argv[2], secret)) return kExitUsage;
  char* end = nullptr;
  const long port = strtol(argv[4], &end, 10);
  if (*end != '\0' || port < 1 || port > 65535) return kExitUsage;

#if defined(_WIN32)
  // The host starts the socket layer; the library never does.
  WSADATA winsock;
  if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) return kExitFailed;
#endif
  int status = Exchange(argv[3], static_cast<int>(port));
  if (status == kExitDone) {
    RegError stamped;
    printf("msvc-host: CreateError gives %d\n", CreateError(&stamped));
    seatenrol_enrolment result;
    const int outcome = EnrolThroughC(secret, argv[1], argv[3], static_cast<int>(port), result);
    SeatenrolSetDebugSink(ShowDebugMessage, nullptr);
    bool enrolled = false;
    {
      CRegisterSession session;
      enrolled = session.RegisterServer(venueID, secret, Bytes(argv[3]), static_cast<int>(port));
    }
    SeatenrolSetDebugSink(nullptr, nullptr);
    printf("msvc-host: %s\n", enrolled ? "enrolled" : "not enrolled");
    status = enrolled ? kExitDone : kExitNotEnrolled;
    const bool sameEnd = enrolled ? outcome == SEATENROL_OK
                                  : outcome == SEATENROL_REFUSED && result.error_no == kWrongSecret;
    if (!sameEnd || seatenrol_last_outcome() != outcome) {
      printf("msvc-host: the C interface's enrolment ended otherwise\n");
      status = kExitFailed;
    }
  }
#if defined(_WIN32)
  WSACleanup();
#endif
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "encode") == 0) return Encode();
#if defined(_WIN32)
  if (argc == 2 && strcmp(argv[1], "constructors") == 0) return Constructors();
#endif
  if (argc == 5) {
    const int status = Enrol(argv);
    if (status != kExitUsage) return status;
  }
  printf("usage: msvc-host encode | constructors | VENUE_ID SECRET SERVER PORT\n");
  return kExitUsage;
}
