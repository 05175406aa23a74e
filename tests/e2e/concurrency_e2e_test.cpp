// Many seats at once against one server, and answers that come too late.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "log/log.h"
#include "log/messages.h"
#include "platform/config_store.h"
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
    seatenrol::SetLogDirectoryForTesting(m_store.Path().c_str());
  }
  void TearDown() override { seatenrol::SetLogDirectoryForTesting(nullptr); }

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
};

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
  const bool enrolled = Enrol(session, m_secret, server.Port());
  setenv("SEATENROL_CONFIG_DIR", m_store.Path().c_str(), 1);

  EXPECT_FALSE(enrolled);
  EXPECT_NE(LogText().find(seatenrol::messages::kServerListNotStored), std::string::npos);
  std::string report;
  ASSERT_TRUE(server.NextRequest(2000, report));
  EXPECT_EQ(JsonValue(report, "accepted"), "true");
}

}  // namespace
}  // namespace seatenrol_test
