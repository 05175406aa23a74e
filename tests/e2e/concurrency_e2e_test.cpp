// Many seats at once against one server, and answers that come too late.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/hex.h"
#include "e2e_support.h"
#include "log/log.h"
#include "log/messages.h"
#include "platform/config_store.h"
#include "seatenrol/debug_output.h"
#include "seatenrol/session.h"

namespace seatenrol_test {
namespace {

using seatenrol::ST_REGISTERINFO_LIST;
using seatenrol::VenueSecret;

const char kVenue[] = "440106123456";
const char kServer[] = "127.0.0.1";

class ManySeats : public ::testing::Test {
protected:
  void SetUp() override {
    unsigned char mac[6];
    if (!SeatMac(mac)) GTEST_SKIP() << "this host shows no IPv4 address or adapter to enrol";
    seatenrol::SetLogDirectory(m_store.Path().c_str());
  }
  void TearDown() override { seatenrol::SetLogDirectory(nullptr); }

  // One server per seat's entry, each on its own port.
  void StartServers(int count) {
    for (int i = 0; i < count; ++i) {
      m_servers.push_back(std::make_unique<ServerProcess>(m_store, VenueLine(kVenue, m_secret)));
      ASSERT_TRUE(m_servers.back()->Ready());
    }
  }

  // Forgets the stored list between rounds; the lock file stays, as it does
  // in a seat's directory.
  void RemoveStoredList() const {
    for (const char* suffix : {"", ".bak"}) {
      std::filesystem::remove(m_store.Path() + "/regaddrs.dat" + suffix);
    }
  }

  // A list of one entry for each started server, each with its credential.
  void ExpectAnEntryForEveryServer(const std::string& round) const {
    const ST_REGISTERINFO_LIST list = ReadStoredList();
    ASSERT_EQ(list.count, static_cast<int>(m_servers.size())) << round;
    std::set<int> ports;
    const std::array<unsigned char, 32> credential = ExpectedCredential(m_secret);
    for (int k = 0; k < list.count; ++k) {
      ports.insert(static_cast<int>(list.entries[k].port));  // a copy: the field is unaligned
      EXPECT_STREQ(list.entries[k].serverName, kServer) << round;
      EXPECT_EQ(0, std::memcmp(list.entries[k].credential, credential.data(), credential.size()))
          << round;
    }
    std::set<int> expected;
    for (const auto& server : m_servers) expected.insert(server->Port());
    EXPECT_EQ(ports, expected) << round;
  }

  std::vector<std::string> SeatEnrolArguments(int port) const {
    return {SEAT_ENROL_PATH, "enrol",    "--venue", kVenue,   "--secret",
            SecretHex(),     "--server", kServer,   "--port", std::to_string(port)};
  }

  std::string SecretHex() const { return seatenrol::ToHex(m_secret.data(), m_secret.size()); }

  static bool Enrol(CRegisterSession& session, const VenueSecret& secret, int port) {
    unsigned char venueID[20] = {};
    std::memcpy(venueID, kVenue, sizeof kVenue - 1);
    VenueSecret secretCopy = secret;
    unsigned char server[sizeof kServer];
    std::memcpy(server, kServer, sizeof kServer);
    return session.RegisterServer(venueID, secretCopy.data(), server, port);
  }

  std::string LogText() const {
    std::ifstream in(m_store.Path() + "/terminal_.log", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  ScopedStoreDirectory m_store;
  const VenueSecret m_secret = MakeSecret(3);
  const VenueSecret m_wrongSecret = MakeSecret(4);
  std::vector<std::unique_ptr<ServerProcess>> m_servers;
};

constexpr int kSeats = 8;
constexpr int kRounds = 10;

// Seats enrolling at once with their own servers, into one store: each
// read, update and write of the list is one writer's, so none is lost.
TEST_F(ManySeats, EightProcessesForEightServersLeaveEightEntries) {
  StartServers(kSeats);
  for (int round = 0; round < kRounds; ++round) {
    RemoveStoredList();
    std::vector<std::unique_ptr<ChildProcess>> seats;
    for (const auto& server : m_servers) {
      seats.push_back(std::make_unique<ChildProcess>(SeatEnrolArguments(server->Port())));
    }
    for (auto& seat : seats) {
      std::string output;
      EXPECT_EQ(seat->Finish(output), 0) << output;
      // Standard error's stage lines come before the outcome's line.
      EXPECT_NE(("\n" + output).find("\nenrolled: "), std::string::npos) << output;
    }
    ExpectAnEntryForEveryServer("round " + std::to_string(round));
  }
}

TEST_F(ManySeats, EightThreadsForEightServersLeaveEightEntries) {
  StartServers(kSeats);
  for (int round = 0; round < kRounds; ++round) {
    RemoveStoredList();
    std::atomic<int> enrolled{0};
    std::vector<std::thread> seats;
    for (const auto& server : m_servers) {
      const int port = server->Port();
      seats.emplace_back([&, port] {
        CRegisterSession session;
        if (Enrol(session, m_secret, port)) ++enrolled;
      });
    }
    for (std::thread& seat : seats) seat.join();
    EXPECT_EQ(enrolled.load(), kSeats);
    ExpectAnEntryForEveryServer("round " + std::to_string(round));
  }
}

// Enrolments killed wherever they happen to be, then one that completes:
// the list is whole and nothing but the store's own files is left.
TEST_F(ManySeats, KilledEnrolmentsLeaveAWholeListAndNoTemporaryFile) {
  constexpr int kKilled = 100;
  StartServers(1);
  ServerProcess& server = *m_servers.front();
  std::atomic<bool> running{true};
  std::thread drain([&] {
    std::string line;
    while (running.load()) server.NextRequest(50, line);
  });

  // Kills are spread over the life of a whole enrolment, start to exit.
  const auto started = std::chrono::steady_clock::now();
  {
    ChildProcess seat(SeatEnrolArguments(server.Port()));
    std::string output;
    EXPECT_EQ(seat.Finish(output), 0) << output;
  }
  const auto lifetime = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - started);
  std::mt19937 random(::testing::UnitTest::GetInstance()->random_seed());
  std::uniform_int_distribution<long> delay(0, lifetime.count() * 3 / 2);
  for (int i = 0; i < kKilled; ++i) {
    ChildProcess seat(SeatEnrolArguments(server.Port()));
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    seat.Kill();
  }
  {
    ChildProcess seat(SeatEnrolArguments(server.Port()));
    std::string output;
    EXPECT_EQ(seat.Finish(output), 0) << output;
  }
  running = false;
  drain.join();

  ExpectAnEntryForEveryServer("after the kills");
  std::set<std::string> storeFiles;
  for (const auto& file : std::filesystem::directory_iterator(m_store.Path())) {
    const std::string name = file.path().filename().string();
    if (name.rfind("regaddrs.dat", 0) == 0) storeFiles.insert(name);
  }
  EXPECT_EQ(storeFiles,
            (std::set<std::string>{"regaddrs.dat", "regaddrs.dat.bak", "regaddrs.dat.lock"}));
}

void Collect(const char* text, void* context) { *static_cast<std::string*>(context) += text; }

TEST_F(ManySeats, AnEnrolmentWhileAnotherWriterHoldsTheListWritesNothing) {
  StartServers(1);
  std::string debugger;
  bool enrolled = true;
  {
    seatenrol::SetStoreLockWaitForTesting(200);
    CTavConfig other;
    const seatenrol::StoreSection section(other);
    ASSERT_EQ(section.State(), CTavConfig::kLockHeld);
    SeatenrolSetDebugSink(Collect, &debugger);
    CRegisterSession session;
    enrolled = Enrol(session, m_secret, m_servers.front()->Port());
    SeatenrolSetDebugSink(nullptr, nullptr);
    seatenrol::SetStoreLockWaitForTesting(0);
  }
  EXPECT_FALSE(enrolled);
  EXPECT_NE(debugger.find(seatenrol::messages::kServerListLocked), std::string::npos) << debugger;
  EXPECT_NE(LogText().find(seatenrol::messages::kServerListLocked), std::string::npos);
  EXPECT_EQ(LogText().find(seatenrol::messages::kServerListNotStored), std::string::npos);
  EXPECT_EQ(ReadStoredList().count, -1) << "a list was written without the lock";
  std::string report;
  ASSERT_TRUE(m_servers.front()->NextRequest(2000, report));
  EXPECT_EQ(JsonValue(report, "accepted"), "true");
}

// Every entry of the log: the seat, the tag, a time stamp, then one of the
// messages this test can cause, whole.
void ExpectEveryLogLineWhole(const std::string& log, int* refusals) {
  char refused[256] = {};
  std::snprintf(refused, sizeof refused, seatenrol::messages::kRegisterRefused, -4);
  const std::string messages[] = {std::string(refused) + "\n",
                                  std::string(seatenrol::messages::kWriteRegisterInfoLog) + "\n"};
  const std::regex prefix(R"([0-9.]*\([^()\n]*\)@440106123456 \d{4}-\d\d-\d\d \d\d:\d\d:\d\d )");
  std::size_t at = 0;
  *refusals = 0;
  while (at < log.size()) {
    std::smatch match;
    const std::string rest = log.substr(at);
    ASSERT_TRUE(std::regex_search(rest, match, prefix, std::regex_constants::match_continuous))
        << "an entry does not start at byte " << at;
    at += static_cast<std::size_t>(match.length(0));
    bool known = false;
    for (std::size_t i = 0; i < 2; ++i) {
      if (log.compare(at, messages[i].size(), messages[i]) == 0) {
        at += messages[i].size();
        if (i == 0) ++*refusals;
        known = true;
        break;
      }
    }
    ASSERT_TRUE(known) << "a message is cut or mixed at byte " << at;
  }
}

TEST_F(ManySeats, EightThreadsEnrolTwoHundredTimesEach) {
  constexpr int kThreads = 8;
  constexpr int kEnrolments = 200;
  constexpr int kRefusedEvery = 20;  // a wrong secret now and then puts lines in the log
  ServerProcess server(m_store, VenueLine(kVenue, m_secret));
  ASSERT_TRUE(server.Ready());

  std::atomic<int> accepted{0};
  std::atomic<int> unexpected{0};
  std::atomic<bool> writing{true};
  std::atomic<int> tornReads{0};
  std::atomic<int> reports{0};

  // The server reports every request on its output; read it as it comes, or
  // a full pipe would stall the server.
  std::thread drain([&] {
    std::string line;
    while (writing.load()) {
      if (server.NextRequest(100, line)) ++reports;
    }
  });

  // A reader beside the writers: once a list has been stored, every read
  // returns one whole list of the one server.
  std::thread reader([&] {
    const std::string primary = m_store.Path() + "/regaddrs.dat";
    bool seen = false;
    while (writing.load()) {
      ST_REGISTERINFO_LIST list;
      std::memset(&list, 0, sizeof list);
      int source = 0;
      const int read = seatenrol::ReadStoreFiles(primary, list, source);
      if (source == CTavConfig::kReadPrimary) seen = true;
      if (seen && (read != 1 || list.count != 1 || list.entries[0].enrolled != 1 ||
                   std::strcmp(list.entries[0].serverName, kServer) != 0 ||
                   list.entries[0].port != server.Port())) {
        ++tornReads;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });

  std::vector<std::thread> seats;
  for (int t = 0; t < kThreads; ++t) {
    seats.emplace_back([&] {
      CRegisterSession session;
      for (int i = 0; i < kEnrolments; ++i) {
        const bool refusedOne = i % kRefusedEvery == kRefusedEvery - 1;
        const bool enrolled = Enrol(session, refusedOne ? m_wrongSecret : m_secret, server.Port());
        if (enrolled == refusedOne) ++unexpected;
        if (enrolled) ++accepted;
      }
    });
  }
  for (std::thread& seat : seats) seat.join();
  writing = false;
  reader.join();
  drain.join();

  EXPECT_EQ(unexpected.load(), 0);
  EXPECT_EQ(accepted.load(), kThreads * (kEnrolments - kEnrolments / kRefusedEvery));
  EXPECT_EQ(tornReads.load(), 0);
  EXPECT_GT(reports.load(), 0);

  const ST_REGISTERINFO_LIST list = ReadStoredList();
  ASSERT_EQ(list.count, 1);
  EXPECT_EQ(list.entries[0].port, server.Port());
  const std::array<unsigned char, 32> expected = ExpectedCredential(m_secret);
  EXPECT_EQ(0, std::memcmp(list.entries[0].credential, expected.data(), expected.size()));

  int refusals = 0;
  ExpectEveryLogLineWhole(LogText(), &refusals);
  EXPECT_EQ(refusals, kThreads * (kEnrolments / kRefusedEvery));
}

TEST_F(ManySeats, AnAnswerAfterTheDeadlineIsNeverTakenForTheNextOne) {
  // The late server answers 5.5 s after the request, when the seat has given
  // up; the seat's next enrolment, elsewhere, must get its own answer.
  ServerProcess late(m_store, VenueLine(kVenue, m_secret), {"--delay", "5500"});
  ServerProcess prompt(m_store, VenueLine(kVenue, m_wrongSecret));
  ASSERT_TRUE(late.Ready() && prompt.Ready());

  CRegisterSession session;
  EXPECT_FALSE(Enrol(session, m_secret, late.Port()));
  std::string report;
  ASSERT_TRUE(late.NextRequest(2000, report));
  EXPECT_EQ(ReadStoredList().count, -1);

  // The late answer is on its way while the seat asks the second server,
  // which refuses this secret: the seat must see that refusal.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(Enrol(session, m_secret, prompt.Port()));
  ASSERT_TRUE(prompt.NextRequest(2000, report));
  EXPECT_EQ(JsonValue(report, "errorNo"), "-4");
  EXPECT_EQ(ReadStoredList().count, -1);
}

TEST_F(ManySeats, AnEnrolmentThatCannotBeStoredIsNotReportedAsDone) {
  ServerProcess server(m_store, VenueLine(kVenue, m_secret));
  ASSERT_TRUE(server.Ready());
  // A store directory beneath a plain file can be neither read nor written,
  // whatever the user's rights.
  const std::string blocked = m_store.WriteFile("not-a-directory", "x") + "/store";
  setenv("SEATENROL_CONFIG_DIR", blocked.c_str(), 1);
  CRegisterSession session;
  std::string debugger;
  SeatenrolSetDebugSink(Collect, &debugger);
  const bool enrolled = Enrol(session, m_secret, server.Port());
  SeatenrolSetDebugSink(nullptr, nullptr);
  setenv("SEATENROL_CONFIG_DIR", m_store.Path().c_str(), 1);

  EXPECT_FALSE(enrolled);
  EXPECT_NE(LogText().find(seatenrol::messages::kServerListNotStored), std::string::npos);
  EXPECT_NE(debugger.find(seatenrol::messages::kServerListNotStored), std::string::npos);
  std::string report;
  ASSERT_TRUE(server.NextRequest(2000, report));
  EXPECT_EQ(JsonValue(report, "accepted"), "true");
}

}  // namespace
}  // namespace seatenrol_test
