// Whole enrolments: the library's session against the reference server
// process, or against a socket the test plays the server with.
#include <gtest/gtest.h>

#include <netdb.h>
#include <ostream>

#include <pthread.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "crypto/crypto.h"
#include "e2e_support.h"
#include "enrol-server/enrolment_answer.h"
#include "enrol-server/request_decoder.h"
#include "hostinfo/host_identity.h"
#include "hosts_only_lookups.h"
#include "net_test_util.h"
#include "platform/ipv4_text.h"
#include "seatenrol/debug_output.h"
#include "seatenrol/session.h"
#include "session/enrolment_report.h"

namespace seatenrol_test {
namespace {

using seatenrol::ST_REGISTERINFO;
using seatenrol::ST_REGISTERINFO_LIST;
using seatenrol::VenueSecret;

const char kVenue[] = "440106123456";
const char kOtherVenue[] = "4401061234";

std::string Name(const ST_REGISTERINFO& entry) {
  return std::string(entry.serverName, strnlen(entry.serverName, sizeof entry.serverName));
}

std::array<unsigned char, 32> Credential(const ST_REGISTERINFO& entry) {
  std::array<unsigned char, 32> bytes;
  std::memcpy(bytes.data(), entry.credential, bytes.size());
  return bytes;
}

bool SameList(const ST_REGISTERINFO_LIST& a, const ST_REGISTERINFO_LIST& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

class Enrolment : public ::testing::Test {
protected:
  void SetUp() override {
    unsigned char mac[6];
    if (!SeatMac(mac)) GTEST_SKIP() << "this host shows no IPv4 address or adapter to enrol";
    SeatenrolSetDebugSink(&Enrolment::Collect, &m_debug);
  }
  void TearDown() override { SeatenrolSetDebugSink(nullptr, nullptr); }

  static void Collect(const char* text, void* context) {
    static_cast<std::vector<std::string>*>(context)->emplace_back(text);
  }

  bool DebugSaid(const std::string& text) const {
    for (const std::string& message : m_debug) {
      if (message.find(text) != std::string::npos) return true;
    }
    return false;
  }

  bool Enrol(const std::string& venue, const VenueSecret& secret, const std::string& server,
             int port) {
    unsigned char venueID[21] = {};
    std::memcpy(venueID, venue.data(), venue.size());
    VenueSecret secretCopy = secret;
    std::vector<unsigned char> name(server.begin(), server.end());
    name.push_back('\0');
    CRegisterSession session;
    return session.RegisterServer(venueID, secretCopy.data(), name.data(), port);
  }

  // One exchange only, leaving result as the exchange leaves it.
  int Exchange(RegError& result, const std::string& venue, const VenueSecret& secret, int port) {
    unsigned char venueID[21] = {};
    std::memcpy(venueID, venue.data(), venue.size());
    VenueSecret secretCopy = secret;
    unsigned char server[] = "127.0.0.1";
    CRegisterSession session;
    if (!session.Init()) return -1;
    return session.Register(result, venueID, secretCopy.data(), server, port);
  }

  ScopedStoreDirectory m_store;
  std::vector<std::string> m_debug;
  const VenueSecret m_secret = MakeSecret(1);
  const VenueSecret m_otherSecret = MakeSecret(2);
  const std::string m_venues =
      "# test venues\n" + VenueLine(kVenue, m_secret) + VenueLine(kOtherVenue, m_otherSecret);
};

TEST_F(Enrolment, FirstEnrolmentStartsTheListWithTheServersCredential) {
  ServerProcess server(m_store, m_venues);
  ASSERT_TRUE(server.Ready());

  ASSERT_TRUE(Enrol(kVenue, m_secret, "127.0.0.1", server.Port()));

  std::string report;
  ASSERT_TRUE(server.NextRequest(2000, report));
  EXPECT_EQ(JsonValue(report, "errorNo"), "0");
  EXPECT_EQ(JsonValue(report, "accepted"), "true");
  const ST_REGISTERINFO_LIST list = ReadStoredList();
  ASSERT_EQ(list.count, 1);
  EXPECT_EQ(Name(list.entries[0]), "127.0.0.1");
  EXPECT_EQ(list.entries[0].port, server.Port());
  EXPECT_EQ(list.entries[0].enrolled, 1);
  EXPECT_EQ(Credential(list.entries[0]), ExpectedCredential(m_secret));
  EXPECT_EQ(server.Stop(), 0);
}

TEST_F(Enrolment, AnotherServerIsAppendedAndAKnownOneUpdatedInPlace) {
  ServerProcess first(m_store, m_venues);
  ServerProcess second(m_store, m_venues);
  ASSERT_TRUE(first.Ready() && second.Ready());

  ASSERT_TRUE(Enrol(kVenue, m_secret, "127.0.0.1", first.Port()));
  ASSERT_TRUE(Enrol(kVenue, m_secret, "127.0.0.1", second.Port()));
  ST_REGISTERINFO_LIST list = ReadStoredList();
  ASSERT_EQ(list.count, 2);
  EXPECT_EQ(int{list.entries[1].port}, second.Port());  // a copy: the field is unaligned
  EXPECT_EQ(Credential(list.entries[1]), ExpectedCredential(m_secret));

  // The other venue's secret gives another credential, so the update shows.
  ASSERT_TRUE(Enrol(kOtherVenue, m_otherSecret, "127.0.0.1", first.Port()));
  list = ReadStoredList();
  ASSERT_EQ(list.count, 2);
  EXPECT_EQ(list.entries[0].port, first.Port());
  EXPECT_EQ(Credential(list.entries[0]), ExpectedCredential(m_otherSecret));
  EXPECT_EQ(Credential(list.entries[1]), ExpectedCredential(m_secret));
}

// Numeric names that the resolver reads as 127.0.0.1 (octal parts with
// leading zeros), so any length can reach the loopback server.
std::string LoopbackNameOfLength(std::size_t length) {
  const std::string tail = "17700000001";  // 0x7F000001 in octal
  return std::string(length - tail.size(), '0') + tail;
}

bool ResolvesToLoopback(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return false;
  const bool loopback =
      ntohl(reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr) == 0x7F000001u;
  freeaddrinfo(found);
  return loopback;
}

TEST_F(Enrolment, LongNamesAreStoredWholeAndFoundAgain) {
  const std::string name32 = LoopbackNameOfLength(32);
  const std::string name33 = LoopbackNameOfLength(33);
  if (!ResolvesToLoopback(name32) || !ResolvesToLoopback(name33)) {
    GTEST_SKIP() << "this resolver does not read octal dotted-less addresses";
  }
  ServerProcess server(m_store, m_venues);
  ASSERT_TRUE(server.Ready());

  ASSERT_TRUE(Enrol(kVenue, m_secret, name32, server.Port()));
  ASSERT_TRUE(Enrol(kVenue, m_secret, name32, server.Port()));
  ASSERT_EQ(ReadStoredList().count, 1);

  ASSERT_TRUE(Enrol(kVenue, m_secret, name33, server.Port()));
  ASSERT_TRUE(Enrol(kVenue, m_secret, name33, server.Port()));
  const ST_REGISTERINFO_LIST list = ReadStoredList();
  ASSERT_EQ(list.count, 2);
  EXPECT_EQ(Name(list.entries[0]), name32);
  EXPECT_EQ(Name(list.entries[1]), name33);
  EXPECT_EQ(Credential(list.entries[1]), ExpectedCredential(m_secret));
}

// A host may enrol from a thread with a small stack: the whole enrolment,
// the update of the stored list included, fits in 64 KB (it takes about
// 13 KB, the C library's share included), more where a sanitizer widens
// every frame. A deeper one runs into the guard page and ends the test.
TEST_F(Enrolment, FitsTheStackOfASmallThread) {
  constexpr std::size_t kStackSize = kAddressSanitizer ? 1024 * 1024 : 64 * 1024;
  ServerProcess server(m_store, m_venues);
  ASSERT_TRUE(server.Ready());
  bool enrolled = false;
  std::function<void()> body = [&] {
    enrolled = Enrol(kVenue, m_secret, "127.0.0.1", server.Port());
  };
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, kStackSize), 0);
  pthread_t thread;
  const int created = pthread_create(
      &thread, &attributes,
      [](void* run) -> void* {
        (*static_cast<std::function<void()>*>(run))();
        return nullptr;
      },
      &body);
  pthread_attr_destroy(&attributes);
  ASSERT_EQ(created, 0);
  pthread_join(thread, nullptr);
  EXPECT_TRUE(enrolled);
  EXPECT_EQ(ReadStoredList().count, 1);
}

// Refusals leave a stored list exactly as it was.
struct RefusalCase {
  const char* what;
  std::vector<std::string> flags;
  const char* venue;
  int secretSeed;
  int errorNo;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.what; }

class Refusal : public Enrolment, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusal, FailsWithTheErrorNumberAndLeavesTheListAlone) {
  const RefusalCase& row = GetParam();
  ServerProcess good(m_store, m_venues);
  ServerProcess refusing(m_store, m_venues, row.flags);
  ASSERT_TRUE(good.Ready() && refusing.Ready());
  ASSERT_TRUE(Enrol(kVenue, m_secret, "127.0.0.1", good.Port()));
  const ST_REGISTERINFO_LIST before = ReadStoredList();

  EXPECT_FALSE(Enrol(row.venue, MakeSecret(row.secretSeed), "127.0.0.1", refusing.Port()));

  std::string report;
  ASSERT_TRUE(refusing.NextRequest(2000, report));
  EXPECT_EQ(JsonValue(report, "errorNo"), std::to_string(row.errorNo));
  EXPECT_TRUE(DebugSaid(":" + std::to_string(row.errorNo)));
  EXPECT_TRUE(SameList(ReadStoredList(), before));
}

INSTANTIATE_TEST_SUITE_P(
    Server, Refusal,
    ::testing::Values(RefusalCase{"WrongSecret", {}, kVenue, 9, -4},
                      RefusalCase{"UnknownVenue", {}, "999999999999", 1, -5},
                      RefusalCase{"Refused6", {"--refuse", "-6"}, kVenue, 1, -6}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.what; });

// Answers that still enrol; the credential is the first 32 bytes of the
// error info, zero-filled when there are fewer.
struct AcceptCase {
  const char* what;
  std::vector<std::string> flags;
  std::size_t credentialBytes;  // of the derived credential; the rest zero
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const AcceptCase& c, std::ostream* os) { *os << c.what; }

class Acceptance : public Enrolment, public ::testing::WithParamInterface<AcceptCase> {};

TEST_P(Acceptance, RecordsTheServerWithWhatTheErrorInfoHolds) {
  const AcceptCase& row = GetParam();
  ServerProcess server(m_store, m_venues, row.flags);
  ASSERT_TRUE(server.Ready());

  ASSERT_TRUE(Enrol(kVenue, m_secret, "127.0.0.1", server.Port()));

  const ST_REGISTERINFO_LIST list = ReadStoredList();
  ASSERT_EQ(list.count, 1);
  std::array<unsigned char, 32> expected{};
  const std::array<unsigned char, 32> derived = ExpectedCredential(m_secret);
  std::copy(derived.begin(), derived.begin() + row.credentialBytes, expected.begin());
  EXPECT_EQ(Credential(list.entries[0]), expected);
  EXPECT_EQ(list.entries[0].enrolled, 1);
}

INSTANTIATE_TEST_SUITE_P(Server, Acceptance,
                         ::testing::Values(AcceptCase{"ErrorMinus3", {"--refuse", "-3"}, 32},
                                           AcceptCase{"Error7", {"--refuse", "7"}, 32},
                                           AcceptCase{"ShortInfo10", {"--info-len", "10"}, 10},
                                           AcceptCase{"NoInfo", {"--info-len", "0"}, 0},
                                           AcceptCase{"NegativeInfo", {"--info-len", "-7"}, 0},
                                           AcceptCase{"LongInfo600", {"--info-len", "600"}, 32},
                                           AcceptCase{"FlagByte0", {"--flag-byte", "0"}, 0},
                                           AcceptCase{"FlagByte2", {"--flag-byte", "2"}, 0}),
                         [](const ::testing::TestParamInfo<AcceptCase>& info) {
                           return info.param.what;
                         });

TEST_F(Enrolment, ShortErrorInfoIsReportedButStillEnrols) {
  ServerProcess server(m_store, m_venues, {"--info-len", "10"});
  ASSERT_TRUE(server.Ready());
  ASSERT_TRUE(Enrol(kVenue, m_secret, "127.0.0.1", server.Port()));
  EXPECT_TRUE(DebugSaid(":10"));
}

// Replies the exchange cannot use fail the enrolment and store nothing.
class UnusableReply : public Enrolment,
                      public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(UnusableReply, FailsWithoutTouchingTheList) {
  ServerProcess server(m_store, m_venues, GetParam());
  ASSERT_TRUE(server.Ready());
  EXPECT_FALSE(Enrol(kVenue, m_secret, "127.0.0.1", server.Port()));
  std::string report;
  EXPECT_TRUE(server.NextRequest(2000, report));
  EXPECT_EQ(ReadStoredList().count, -1);
}

INSTANTIATE_TEST_SUITE_P(Truncated, UnusableReply,
                         ::testing::Values(std::vector<std::string>{"--truncate", "50"},
                                           std::vector<std::string>{"--truncate", "90"},
                                           std::vector<std::string>{"--truncate", "190"},
                                           std::vector<std::string>{"--truncate", "150"}));

TEST_F(Enrolment, GarbageRepliesNeverBreakTheSeat) {
  ServerProcess server(m_store, m_venues, {"--garbage"});
  ASSERT_TRUE(server.Ready());
  for (int i = 0; i < 5; ++i) Enrol(kVenue, m_secret, "127.0.0.1", server.Port());
  const ST_REGISTERINFO_LIST list = ReadStoredList();
  EXPECT_LE(list.count, 1);
}

TEST_F(Enrolment, AnUnresolvableNameFailsBeforeAnythingIsSent) {
  ServerProcess server(m_store, m_venues);
  ASSERT_TRUE(server.Ready());
  const HostsOnlyRun run = RunWithHostsOnlyLookups([&] {
    const bool enrolled = Enrol(kVenue, m_secret, "nonexistent.invalid", server.Port());
    return std::to_string(enrolled) + " " + std::to_string(DebugSaid("RawRecvFrom")) + " " +
           std::to_string(ReadStoredList().count);
  });
  if (!run.confined) GTEST_SKIP() << "name lookups cannot be kept off the network: " << run.output;
  EXPECT_EQ(run.output, "0 0 -1");  // not enrolled, nothing received, nothing stored
  std::string report;
  EXPECT_FALSE(server.NextRequest(200, report));
}

TEST_F(Enrolment, AClosedPortFailsWithAReceiveErrorNotATimeout) {
  EXPECT_FALSE(Enrol(kVenue, m_secret, "127.0.0.1", UnusedLoopbackPort()));
  EXPECT_TRUE(DebugSaid("CONST_COMMUNICATION_ERROR"));
  EXPECT_FALSE(DebugSaid("CONST_COMMUNICATION_TIMEOUT"));
}

TEST_F(Enrolment, NoReplyTimesOutAndLeavesTheCallersRecordUntouched) {
  ServerProcess server(m_store, m_venues, {"--drop"});
  ASSERT_TRUE(server.Ready());
  RegError result;
  result.SetErrorNo(12345);
  result.SetResponseCommandID(77);

  EXPECT_EQ(Exchange(result, kVenue, m_secret, server.Port()), 0);

  EXPECT_TRUE(DebugSaid("RawRecvFrom  Erroe! CONST_COMMUNICATION_TIMEOUT"));
  EXPECT_EQ(seatenrol::ThreadEnrolmentReport().outcome, seatenrol::Outcome::kNoAnswer);
  EXPECT_EQ(result.GetErrorNo(), 12345);
  EXPECT_EQ(result.GetResponseCommandID(), 77);
  EXPECT_EQ(result.GetInfoFlag(), 0);
}

// What one exchange leaves in the thread's report, for each way it can end:
// the server's number and address only where a reply was taken, and nothing
// of an earlier exchange's.
struct ExchangeEnd {
  const char* what;
  enum Peer { kServer, kClosedPort, kPort0, kPort65536 } peer;
  std::vector<std::string> flags;
  int secretSeed;
  int returned;
  seatenrol::Outcome outcome;
  int errorNo;
  const char* serverIP;
};

TEST_F(Enrolment, EachEndOfAnExchangeLeavesItsOwnReport) {
  using seatenrol::Outcome;
  const std::vector<ExchangeEnd> ends = {
      {"accepted", ExchangeEnd::kServer, {}, 1, 1, Outcome::kOk, 0, "127.0.0.1"},
      {"port 0", ExchangeEnd::kPort0, {}, 1, 0, Outcome::kBadArgument, 0, ""},
      {"refused", ExchangeEnd::kServer, {}, 9, 1, Outcome::kOk, -4, "127.0.0.1"},
      {"closed port", ExchangeEnd::kClosedPort, {}, 1, 0, Outcome::kPortUnreachable, 0, ""},
      {"error 7", ExchangeEnd::kServer, {"--refuse", "7"}, 1, 1, Outcome::kOk, 7, "127.0.0.1"},
      {"truncated",
       ExchangeEnd::kServer,
       {"--truncate", "50"},
       1,
       0,
       Outcome::kUnusableReply,
       0,
       ""},
      {"port 65536", ExchangeEnd::kPort65536, {}, 1, 0, Outcome::kBadArgument, 0, ""},
      {"accepted again", ExchangeEnd::kServer, {}, 1, 1, Outcome::kOk, 0, "127.0.0.1"},
  };
  for (const ExchangeEnd& end : ends) {
    SCOPED_TRACE(end.what);
    ServerProcess server(m_store, m_venues, end.flags);
    ASSERT_TRUE(server.Ready());
    int port = server.Port();
    if (end.peer == ExchangeEnd::kClosedPort) port = UnusedLoopbackPort();
    if (end.peer == ExchangeEnd::kPort0) port = 0;
    if (end.peer == ExchangeEnd::kPort65536) port = 65536;
    RegError result;
    EXPECT_EQ(Exchange(result, kVenue, MakeSecret(end.secretSeed), port), end.returned);
    const seatenrol::EnrolmentReport& report = seatenrol::ThreadEnrolmentReport();
    EXPECT_EQ(report.outcome, end.outcome);
    EXPECT_EQ(report.errorNo, end.errorNo);
    EXPECT_STREQ(report.serverIP, end.serverIP);
    if (end.returned == 1) {
      EXPECT_EQ(result.GetErrorNo(), end.errorNo);
    }
  }
  // Missing arguments end it, and an enrolment, before anything else, and
  // clear what the accepted exchange above left.
  CRegisterSession session;
  RegError result;
  unsigned char venue[21] = "440106123456";
  unsigned char secret[32] = {};
  unsigned char server[] = "127.0.0.1";
  const seatenrol::EnrolmentReport& report = seatenrol::ThreadEnrolmentReport();
  EXPECT_FALSE(session.RegisterServer(venue, secret, nullptr, 9));
  EXPECT_EQ(report.outcome, Outcome::kBadArgument);
  EXPECT_STREQ(report.serverIP, "");
  ServerProcess answering(m_store, m_venues);
  ASSERT_EQ(Exchange(result, kVenue, m_secret, answering.Port()), 1);
  EXPECT_EQ(session.Register(result, nullptr, secret, server, 9), 0);
  EXPECT_EQ(report.outcome, Outcome::kBadArgument);
  EXPECT_STREQ(report.serverIP, "");
  EXPECT_EQ(session.Register(result, venue, nullptr, server, 9), 0);
  EXPECT_EQ(session.Register(result, venue, secret, nullptr, 9), 0);
  EXPECT_EQ(report.outcome, Outcome::kBadArgument);
  EXPECT_FALSE(session.RegisterServer(nullptr, secret, server, 9));
  EXPECT_FALSE(session.RegisterServer(venue, nullptr, server, 9));
  EXPECT_EQ(report.outcome, Outcome::kBadArgument);
}

// The test plays the server: it answers from a socket of its own, after a
// stranger's socket has sent a reply of its own first.
class PlayedServer {
public:
  explicit PlayedServer(const seatenrol::VenueTable& venues) : m_venues(venues) {
    m_thread = std::thread([this] { Serve(); });
  }
  ~PlayedServer() { m_thread.join(); }

  int Port() const { return m_socket.Port(); }
  const std::string& Request() const { return m_request; }

private:
  void Serve() {
    int seatPort = 0;
    if (!m_socket.Receive(8000, &m_request, &seatPort)) return;
    seatenrol::DecodedRequest request;
    if (!seatenrol::DecodeRequest(reinterpret_cast<const unsigned char*>(m_request.data()),
                                  m_request.size(), request)) {
      return;
    }
    seatenrol::ServerFaults strangers;
    strangers.errorNo = -5;
    const seatenrol::Answer forged = seatenrol::AnswerRequest(request, m_venues, strangers);
    m_stranger.SendTo(seatPort, std::string(forged.reply.begin(), forged.reply.end()));
    const seatenrol::Answer answer = seatenrol::AnswerRequest(request, m_venues, {});
    m_socket.SendTo(seatPort, std::string(answer.reply.begin(), answer.reply.end()));
  }

  const seatenrol::VenueTable& m_venues;
  LoopbackSocket m_socket;
  LoopbackSocket m_stranger;
  std::string m_request;
  std::thread m_thread;
};

seatenrol::VenueTable TableOf(const std::string& venues) {
  seatenrol::VenueTable table;
  std::istringstream in(venues);
  std::string error;
  table.Load(in, error);
  return table;
}

TEST_F(Enrolment, AReplyFromAnotherSocketIsIgnored) {
  const seatenrol::VenueTable venues = TableOf(m_venues);
  PlayedServer server(venues);
  EXPECT_TRUE(Enrol(kVenue, m_secret, "127.0.0.1", server.Port()));
  EXPECT_EQ(ReadStoredList().count, 1);
}

// The request as it arrives, byte for byte, for venue IDs of several lengths.
struct SlicingCase {
  const char* venue;
  const char* province;
  const char* city;
  const char* area;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SlicingCase& c, std::ostream* os) { *os << c.venue; }

class RequestOnTheWire : public Enrolment, public ::testing::WithParamInterface<SlicingCase> {};

template <std::size_t N>
std::string Bytes(const unsigned char (&field)[N]) {
  return std::string(reinterpret_cast<const char*>(field), N);
}

std::string Padded(const std::string& text, std::size_t width) {
  std::string padded = text;
  padded.resize(width, '\0');
  return padded;
}

TEST_P(RequestOnTheWire, CarriesEveryFieldInItsPlace) {
  const SlicingCase& row = GetParam();
  const seatenrol::VenueTable venues = TableOf(VenueLine(row.venue, m_secret));
  std::string raw;
  {
    PlayedServer server(venues);
    ASSERT_TRUE(Enrol(row.venue, m_secret, "127.0.0.1", server.Port()));
    raw = server.Request();
  }
  ASSERT_EQ(raw.size(), seatenrol::kRequestSize);
  const auto* bytes = reinterpret_cast<const unsigned char*>(raw.data());
  EXPECT_EQ(raw.substr(0, 4), std::string("\0\0\0\x7F", 4));
  EXPECT_EQ(raw.substr(78, 4), std::string("\0\0\x01\x15", 4));
  seatenrol::DecodedRequest request;
  ASSERT_TRUE(seatenrol::DecodeRequest(bytes, raw.size(), request));

  EXPECT_EQ(request.commandID, 127);
  EXPECT_EQ(request.bodyLength, 277);
  EXPECT_EQ(Bytes(request.userID), std::string(32, '\0'));
  EXPECT_EQ(Bytes(request.peerUserID), std::string(32, '\0'));
  EXPECT_EQ(request.commandVer, 0);
  EXPECT_EQ(Bytes(request.commandReserve), std::string(9, '\0'));
  EXPECT_EQ(request.userType, 2);
  EXPECT_EQ(Bytes(request.userLevel), "10");
  EXPECT_EQ(Bytes(request.countryID), Padded("86", 32));
  EXPECT_EQ(Bytes(request.provinceID), Padded(row.province, 32));
  EXPECT_EQ(Bytes(request.cityID), Padded(row.city, 32));
  EXPECT_EQ(Bytes(request.areaID), Padded(row.area, 32));
  EXPECT_EQ(Bytes(request.companyID), Padded(row.venue, 32));

  seatenrol::CHostIdentity identity;
  const char* ip = identity.GetSystemIP();
  ASSERT_NE(ip, nullptr);
  std::uint32_t address = 0;
  ASSERT_TRUE(seatenrol::ParseDottedIPv4(ip, &address));
  EXPECT_EQ(request.localIP, address);
  unsigned char mac[6] = {};
  ASSERT_TRUE(SeatMac(mac));
  EXPECT_EQ(Bytes(request.localMAC), Bytes(mac));
  unsigned char hostName[20] = {};
  ASSERT_EQ(identity.GetHostName(hostName, sizeof hostName), 1);
  EXPECT_EQ(Bytes(request.hostName), Bytes(hostName));
  unsigned char characteristic[32];
  MachineCharacteristic(mac, characteristic);
  EXPECT_EQ(Bytes(request.machineCharacteristic), Bytes(characteristic));
  unsigned char sealed[32] = {};
  ASSERT_TRUE(seatenrol::SealSerial(m_secret.data(), 32, sealed, sizeof sealed));
  EXPECT_EQ(Bytes(request.serialID), Bytes(sealed));
  EXPECT_EQ(Bytes(request.serialPassword), std::string(20, '\0'));
}

INSTANTIATE_TEST_SUITE_P(VenueIDs, RequestOnTheWire,
                         ::testing::Values(SlicingCase{"112233445566", "22", "33", "44"},
                                           SlicingCase{"1122334455", "11", "22", "33"},
                                           SlicingCase{"1122334455667", "11", "22", "33"},
                                           SlicingCase{"11223344556677889900", "11", "22", "33"},
                                           SlicingCase{"1122", "11", "22", ""}));

}  // namespace
}  // namespace seatenrol_test
