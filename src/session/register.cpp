// The registration exchange: fill the request, send it to each address of
// the server in turn, and bring back the first reply that parses.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "crypto/crypto.h"
#include "hostinfo/host_identity.h"
#include "log/log.h"
#include "log/messages.h"
#include "platform/call_limits.h"
#include "platform/ipv4_text.h"
#include "platform/resolve.h"
#include "platform/socket.h"
#include "platform/system_error.h"
#include "platform/wipe.h"
#include "seatenrol/session.h"
#include "session/enrolment_report.h"
#include "session/progress.h"
#include "session/session_limits.h"

namespace {

using seatenrol::kVenueIDSize;

// The user type, level and country a seat always sends.
constexpr unsigned char kSeatUserType = 2;
unsigned char kUserLevel[2] = {'1', '0'};
unsigned char kCountryID[2] = {'8', '6'};

// Province, city and area are three character pairs of the venue ID: a
// 12-character ID carries a two-character prefix before them.
constexpr std::size_t kLongVenueIDLength = 12;

void ReportReceiveFailure(int result) {
  switch (result) {
    case CONST_COMMUNICATION_TIMEOUT:
      seatenrol::DebugOutput(seatenrol::messages::kRecvTimeout);
      break;
    case CONST_COMMUNICATION_ERROR:
      seatenrol::DebugOutput(seatenrol::messages::kRecvError);
      break;
    case CONST_COMMUNICATION_PACKET_ERROR:
      seatenrol::DebugOutput(seatenrol::messages::kRecvPacketError);
      break;
    default:
      break;
  }
}

}  // namespace

int CRegisterSession::CreatPSCRegisterCommand(CPSCRegisterCommand& request, unsigned char* venueID,
                                              unsigned char* secret, unsigned char* /*serverName*/,
                                              int /*port*/) {
  if (venueID == nullptr || secret == nullptr) return 0;

  m_userType = kSeatUserType;
  std::memcpy(m_venueID, venueID, sizeof m_venueID);
  std::memcpy(m_secret, secret, sizeof m_secret);
  std::memset(m_peerUserID, 0, sizeof m_peerUserID);
  std::memset(m_serialPassword, 0, sizeof m_serialPassword);

  if (!request.SetUserID(m_userID, sizeof m_userID)) return 0;
  if (!request.SetPeerUserID(m_peerUserID, sizeof m_peerUserID)) return 0;
  request.SetUserType(m_userType);
  request.SetUserLevel(kUserLevel, sizeof kUserLevel);
  request.SetCompanyID(venueID, kVenueIDSize);

  const std::size_t venueLength = seatenrol::VenueIDLength(venueID);
  const std::size_t first = venueLength == kLongVenueIDLength ? 2 : 0;
  request.SetCountryID(kCountryID, sizeof kCountryID);
  request.SetProvinceID(venueID + first, 2);
  request.SetCityID(venueID + first + 2, 2);
  request.SetAreaID(venueID + first + 4, 2);

  // The seat's identity is read in the order IP, MAC, host name, each stored
  // before the next is sought.
  seatenrol::CHostIdentity identity;
  const char* ip = identity.GetSystemIP();
  if (ip == nullptr) {
    seatenrol::ReportApiFailure(seatenrol::messages::kCreatPSCRegisterCommandSignature);
    seatenrol::WriteLog(seatenrol::messages::kGetSystemIPFailed);
    return 0;
  }
  if (!request.SetLocalIP(ip)) return 0;

  unsigned char mac[6] = {};
  if (!identity.GetSystemMac(mac, sizeof mac)) {
    seatenrol::WriteLog(seatenrol::messages::kGetSystemMacFailed);
    return 0;
  }
  if (!request.SetLocalMAC(mac, sizeof mac)) return 0;

  unsigned char hostName[20] = {};
  if (!identity.GetHostName(hostName, sizeof hostName)) {
    seatenrol::WriteLog(seatenrol::messages::kGetHostNameFailed);
    return 0;
  }
  if (!request.SetHostName(hostName, sizeof hostName)) return 0;

  char characteristic[32] = {};
  std::snprintf(characteristic, sizeof characteristic, "%02X%02X%02X%02X%02X%02X", mac[0], mac[1],
                mac[2], mac[3], mac[4], mac[5]);
  if (!request.SetMachineCharacteristic(reinterpret_cast<unsigned char*>(characteristic),
                                        sizeof characteristic)) {
    return 0;
  }

  // Sealed under a key anyone can read, the serial is as secret as the secret.
  unsigned char serial[32] = {};
  const seatenrol::ScopedWipe wipeSerial(serial, sizeof serial);
  const bool sealed = seatenrol::SealSerial(secret, sizeof serial, serial, sizeof serial);
  seatenrol::WipeStackBelow();  // the sealing's frames held the secret
  if (!sealed) return 0;
  if (!request.SetSerialID(serial, sizeof serial)) return 0;
  if (!request.SetSerialPassword(m_serialPassword, sizeof m_serialPassword)) return 0;
  return 1;
}

namespace {

using seatenrol::Outcome;

// The outcome of a failed step that met the network: a socket layer the host
// never started is named as such, whatever the step.
Outcome NetworkOutcome(Outcome otherwise) {
  return seatenrol::SocketLayerStarted() ? otherwise : Outcome::kNetworkNotStarted;
}

Outcome ReceiveOutcome(int received) {
  switch (received) {
    case CONST_COMMUNICATION_TIMEOUT:
      return Outcome::kNoAnswer;
    case CONST_COMMUNICATION_PACKET_ERROR:
      return Outcome::kUnusableReply;
    default:
      // On a connected datagram socket a refusal is the peer host's "port
      // unreachable"; any other error means the datagram did not get there.
      return seatenrol::LastTransportFault() == seatenrol::TransportFault::kRefused
                 ? Outcome::kPortUnreachable
                 : NetworkOutcome(Outcome::kNotSent);
  }
}

// Ends the exchange when the host's limits say so outside a reply wait: a
// cancel, or a deadline that has passed. True when it did.
bool StoppedByLimits() {
  switch (seatenrol::CurrentLimitHit()) {
    case seatenrol::LimitHit::kCancelled:
      seatenrol::SetEnrolmentOutcome(Outcome::kCancelled);
      return true;
    case seatenrol::LimitHit::kDeadline:
      seatenrol::SetEnrolmentOutcome(Outcome::kTimedOut);
      return true;
    default:
      return false;
  }
}

bool Cancelled() { return seatenrol::CurrentLimitHit() == seatenrol::LimitHit::kCancelled; }

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// The first repeat of a request waits this long; each later one twice the one before.
constexpr Milliseconds kFirstRepeat{500};

// interval with its own jitter of up to 20 % either way, so that seats that
// lost their requests together do not all send again at once.
Clock::duration Jittered(Milliseconds interval) {
  thread_local std::uint32_t state = 0;  // plain bytes, seeded on first use
  if (state == 0) state = static_cast<std::uint32_t>(Clock::now().time_since_epoch().count()) | 1u;
  state = state * 1664525u + 1013904223u;
  const int percent = static_cast<int>((state >> 16) % 41) - 20;
  return std::chrono::duration_cast<Clock::duration>(interval) * (100 + percent) / 100;
}

int MillisecondsUntil(Clock::time_point end) {
  const auto left = std::chrono::ceil<Milliseconds>(end - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

enum class Awaited {
  kReply,     // the receive buffer holds the datagram that came
  kUnusable,  // only datagrams that do not parse came: the next address's turn
  kFailed     // the outcome is set and reported; the endpoint is to be closed
};

// The outcome and message of a receive that ended without a datagram.
Awaited ReceiveFailed(int received) {
  if (Cancelled()) {
    seatenrol::SetEnrolmentOutcome(Outcome::kCancelled);
  } else {
    seatenrol::SetEnrolmentOutcome(ReceiveOutcome(received));
    ReportReceiveFailure(received);
  }
  return Awaited::kFailed;
}

Awaited SendFailed() {
  seatenrol::SetEnrolmentOutcome(NetworkOutcome(Outcome::kNotSent));
  seatenrol::DebugOutput(seatenrol::messages::kSendCommandError);
  return Awaited::kFailed;
}

// Sends the request to the connected peer and waits for its reply: waitMs
// in all, with up to sends requests in it. Repeats go after 500 ms, then
// after doubled intervals, each jittered, and never after the wait's end;
// with repeats, the first reply that parses ends the wait.
Awaited SendAndAwait(CRegisterSession& session, CPSCRegisterCommand& request, CBuf& reply,
                     int waitMs, int sends) {
  if (!session.SendCommand(&request)) return SendFailed();
  seatenrol::ReportStage(seatenrol::Stage::kSent, 1);
  if (sends <= 1) {
    const int received = session.RawRecvFrom(reply, waitMs);
    return received > 0 ? Awaited::kReply : ReceiveFailed(received);
  }
  const Clock::time_point end = Clock::now() + Milliseconds(waitMs);
  Milliseconds interval = kFirstRepeat;
  Clock::time_point nextSend = Clock::now() + Jittered(interval);
  int sent = 1;
  bool unusable = false;
  for (;;) {
    const bool more = sent < sends && nextSend < end;
    const int received = session.RawRecvFrom(reply, MillisecondsUntil(more ? nextSend : end));
    if (received > 0) {
      CResponseCommandReg response;
      if (response.Create(&reply)) return Awaited::kReply;
      unusable = true;
      continue;
    }
    if (received == CONST_COMMUNICATION_PACKET_ERROR) {
      unusable = true;
      continue;
    }
    if (received != CONST_COMMUNICATION_TIMEOUT ||
        seatenrol::CurrentLimitHit() != seatenrol::LimitHit::kNone) {
      return ReceiveFailed(received);
    }
    if (!more) return unusable ? Awaited::kUnusable : ReceiveFailed(received);
    if (!session.SendCommand(&request)) return SendFailed();
    seatenrol::ReportStage(seatenrol::Stage::kSent, ++sent);
    interval *= 2;
    nextSend += Jittered(interval);
  }
}

// The reply wait and the requests per address the current call asks for.
int ReplyWaitMs() {
  const seatenrol::CallLimits* limits = seatenrol::CurrentCallLimits();
  return limits != nullptr ? limits->replyWaitMs : seatenrol::kReplyWaitMs;
}

int SendsPerAddress() {
  const seatenrol::CallLimits* limits = seatenrol::CurrentCallLimits();
  return limits != nullptr && limits->sends > 1 ? limits->sends : 1;
}

}  // namespace

int CRegisterSession::Register(RegError& result, unsigned char* venueID, unsigned char* secret,
                               unsigned char* serverName, int port) {
  using seatenrol::SetEnrolmentOutcome;
  seatenrol::BeginEnrolmentReport(Outcome::kBadArgument);
  if (venueID == nullptr || secret == nullptr || serverName == nullptr) return 0;
  if (StoppedByLimits()) return 0;
  try {
    SetEnrolmentOutcome(Outcome::kNoMemory);
    CBuf reply;
    if (!reply.Alloc(seatenrol::kPacketBufferSize)) return 0;

    CPSCRegisterCommand request;
    const seatenrol::ScopedWipe wipeRequest(&request, sizeof request);
    if (!CreatPSCRegisterCommand(request, venueID, secret, serverName, port)) {
      SetEnrolmentOutcome(NetworkOutcome(Outcome::kNoIdentity));
      return 0;
    }

    std::vector<std::uint32_t> addresses;
    seatenrol::BeginEnrolmentStep();
    switch (seatenrol::ResolveWithinLimits(reinterpret_cast<const char*>(serverName), addresses)) {
      case seatenrol::LookupResult::kResolved:
        break;
      case seatenrol::LookupResult::kCancelled:
        SetEnrolmentOutcome(Outcome::kCancelled);
        return 0;
      case seatenrol::LookupResult::kTimedOut:
        SetEnrolmentOutcome(Outcome::kTimedOut);
        return 0;
      default:
        SetEnrolmentOutcome(NetworkOutcome(Outcome::kUnresolved));
        return 0;
    }
    seatenrol::ReportStage(seatenrol::Stage::kResolved, static_cast<int>(addresses.size()));
    const int waitMs = ReplyWaitMs();
    const int sends = SendsPerAddress();

    // Every address's reply failing to parse leaves this outcome.
    SetEnrolmentOutcome(Outcome::kUnusableReply);
    CSocketAddress peer;
    for (const std::uint32_t address : addresses) {
      seatenrol::BeginEnrolmentStep();
      char text[16];
      seatenrol::FormatDottedIPv4(address, text);
      if (!CSocketAddress::CheckStrIP(text) || !peer.SetIP(text) || !peer.SetPort(port)) {
        SetEnrolmentOutcome(Outcome::kBadArgument);  // a port outside 1..65535
        return 0;
      }

      if (StoppedByLimits()) return 0;
      Close();
      if (!Open(2)) {
        SetEnrolmentOutcome(NetworkOutcome(Outcome::kNotSent));
        return 0;
      }
      if (!SetPeerAddr(peer)) {
        SetEnrolmentOutcome(NetworkOutcome(Outcome::kNotSent));
        Close();
        return 0;
      }
      const Awaited awaited = SendAndAwait(*this, request, reply, waitMs, sends);
      if (awaited == Awaited::kFailed) {
        Close();
        return 0;
      }

      CResponseCommandReg response;
      const seatenrol::ScopedWipe wipeResponse(&response, sizeof response);
      if (awaited == Awaited::kUnusable || !response.Create(&reply)) {
        // A reply that does not parse lets the next address have its turn.
        Close();
        continue;
      }
      if (!result.SetP2PError(response.GetP2PError())) return 0;
      seatenrol::EnrolmentReport& report = seatenrol::ThreadEnrolmentReport();
      report.outcome = Outcome::kOk;
      report.systemError = 0;
      report.errorNo = result.GetErrorNo();
      std::memcpy(report.serverIP, text, sizeof report.serverIP);
      seatenrol::ReportStage(seatenrol::Stage::kReply, report.errorNo);
      return 1;  // the endpoint stays open until the enrolment has been recorded
    }
    return 0;
  } catch (...) {
    // Only allocations throw here; the host gets a failure, never an exception.
    Close();
    SetEnrolmentOutcome(Outcome::kNoMemory);
    return 0;
  }
}
