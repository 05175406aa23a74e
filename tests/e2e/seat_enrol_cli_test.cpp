// The seat-enrol command line as a technician runs it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/hex.h"
#include "e2e_support.h"

namespace seatenrol_test {
namespace {

const char kVenue[] = "440106123456";

struct ToolRun {
  int status;
  std::string output;
};

ToolRun SeatEnrol(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {SEAT_ENROL_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess process(argv);
  ToolRun run;
  run.status = process.Finish(run.output);
  return run;
}

class SeatEnrolCli : public ::testing::Test {
protected:
  void SetUp() override {
    unsigned char mac[6];
    if (!SeatMac(mac)) GTEST_SKIP() << "this host shows no IPv4 address or adapter to enrol";
  }
  std::string SecretHex() const { return seatenrol::ToHex(m_secret.data(), m_secret.size()); }

  ScopedStoreDirectory m_store;
  const seatenrol::VenueSecret m_secret = MakeSecret(3);
};

TEST_F(SeatEnrolCli, EnrolsFromASecretFileAndListsTheStoredServer) {
  ServerProcess server(m_store, VenueLine(kVenue, m_secret));
  ASSERT_TRUE(server.Ready());
  const std::string secretFile = m_store.WriteFile("secret.hex", "  " + SecretHex() + "\n");
  const std::string port = std::to_string(server.Port());

  const ToolRun enrol = SeatEnrol({"enrol", "--venue", kVenue, "--secret-file", secretFile,
                                   "--server", "127.0.0.1", "--port", port, "--verbose"});
  EXPECT_EQ(enrol.status, 0) << enrol.output;
  EXPECT_NE(enrol.output.find("enrolled"), std::string::npos);
  // A new list is reported to the log in GBK; the tool shows it as UTF-8.
  EXPECT_NE(enrol.output.find("log: "), std::string::npos) << enrol.output;
  EXPECT_NE(enrol.output.find("\xE5\x86\x99\xE6\xB3\xA8\xE5\x86\x8C\xE4\xBF\xA1\xE6\x81\xAF"),
            std::string::npos)
      << enrol.output;

  const ToolRun list = SeatEnrol({"list"});
  EXPECT_EQ(list.status, 0);
  const std::array<unsigned char, 32> credential = ExpectedCredential(m_secret);
  EXPECT_NE(list.output.find(seatenrol::ToHex(credential.data(), credential.size())),
            std::string::npos)
      << list.output;
  EXPECT_NE(list.output.find("port " + port), std::string::npos) << list.output;
}

TEST_F(SeatEnrolCli, ARefusalExitsWith2WithoutRetrying) {
  ServerProcess server(m_store, VenueLine(kVenue, MakeSecret(4)));
  ASSERT_TRUE(server.Ready());
  const ToolRun enrol =
      SeatEnrol({"enrol", "--venue", kVenue, "--secret", SecretHex(), "--server", "127.0.0.1",
                 "--port", std::to_string(server.Port()), "--retries", "3"});
  EXPECT_EQ(enrol.status, 2);
  EXPECT_NE(enrol.output.find("error -4"), std::string::npos) << enrol.output;
  std::string report;
  EXPECT_TRUE(server.NextRequest(2000, report));
  EXPECT_FALSE(server.NextRequest(300, report)) << "a refusal was retried";
}

TEST_F(SeatEnrolCli, RetriesAfterAFailureUpToTheLimit) {
  ServerProcess server(m_store, VenueLine(kVenue, m_secret), {"--truncate", "40"});
  ASSERT_TRUE(server.Ready());
  const ToolRun enrol =
      SeatEnrol({"enrol", "--venue", kVenue, "--secret", SecretHex(), "--server", "127.0.0.1",
                 "--port", std::to_string(server.Port()), "--retries", "1"});
  EXPECT_EQ(enrol.status, 2);
  std::string report;
  EXPECT_TRUE(server.NextRequest(2000, report));
  EXPECT_TRUE(server.NextRequest(2000, report));
  EXPECT_FALSE(server.NextRequest(300, report));
}

TEST_F(SeatEnrolCli, ListWithoutAStoredListSaysSo) {
  const ToolRun list = SeatEnrol({"list"});
  EXPECT_EQ(list.status, 0);
  EXPECT_NE(list.output.find("no stored server list"), std::string::npos);
}

TEST(SeatEnrolArguments, BadCommandLinesExitWith64AndUsage) {
  const std::string secret(64, 'a');
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"list", "extra"},
      {"enrol"},
      {"enrol", "--venue", "1", "--secret", secret, "--server", "h"},
      {"enrol", "--venue", "1", "--secret", secret, "--server", "h", "--port", "0"},
      {"enrol", "--venue", "1", "--secret", secret, "--server", "h", "--port", "65536"},
      {"enrol", "--venue", "1", "--secret", secret, "--server", "h", "--port", "80x"},
      {"enrol", "--venue", "1", "--secret", secret + "a", "--server", "h", "--port", "1"},
      {"enrol", "--venue", "1", "--secret", std::string(63, 'a') + "g", "--server", "h", "--port",
       "1"},
      {"enrol", "--venue", "123456789012345678901", "--secret", secret, "--server", "h", "--port",
       "1"},
      {"enrol", "--venue", "1", "--secret", secret, "--secret", secret, "--server", "h", "--port",
       "1"},
      {"enrol", "--venue", "1", "--secret-file", "/nonexistent/secret", "--server", "h", "--port",
       "1"},
      {"enrol", "--venue", "1", "--secret", secret, "--server", "h", "--port", "1", "--retries",
       "11"},
      {"enrol", "--venue", "1", "--secret", secret, "--server", "h", "--port"},
  };
  for (const std::vector<std::string>& args : cases) {
    const ToolRun run = SeatEnrol(args);
    std::string shown;
    for (const std::string& arg : args) shown += arg + " ";
    EXPECT_EQ(run.status, 64) << shown;
    EXPECT_NE(run.output.find("usage: seat-enrol"), std::string::npos) << shown;
  }
}

}  // namespace
}  // namespace seatenrol_test
