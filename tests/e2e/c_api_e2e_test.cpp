// The C interface end to end: each outcome where it belongs, the result
// record, the per-thread last outcome, and the list and forget calls.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "hosts_only_lookups.h"
#include "net_test_util.h"
#include "seatenrol/c_api.h"
#include "seatenrol/session.h"
#include "seatenrol/version.h"

namespace seatenrol_test {
namespace {

const char kVenue[] = "440106123456";

class CInterface : public ::testing::Test {
protected:
  void SetUp() override {
    unsigned char mac[6];
    if (!SeatMac(mac)) GTEST_SKIP() << "this host shows no IPv4 address or adapter to enrol";
  }

  int Enrol(const seatenrol::VenueSecret& secret, int port, seatenrol_enrolment& result,
            const char* server = "127.0.0.1", const char* venue = kVenue) {
    std::memset(&result, 0xA5, sizeof result);
    result.size = sizeof result;
    return seatenrol_enrol(venue, secret.data(), server, port, &result);
  }

  ScopedStoreDirectory m_store;
  const seatenrol::VenueSecret m_secret = MakeSecret(1);
  const std::string m_venues = VenueLine(kVenue, m_secret);
};

TEST_F(CInterface, EachOutcomeWhereItBelongs) {
  const seatenrol::VenueSecret wrong = MakeSecret(9);
  struct Case {
    const char* name;
    std::vector<std::string> flags;
    const char* venue;
    const seatenrol::VenueSecret* secret;
    int outcome;
    int errorNo;
  } cases[] = {
      {"accepted", {}, kVenue, &m_secret, SEATENROL_OK, 0},
      {"wrong secret", {}, kVenue, &wrong, SEATENROL_REFUSED, -4},
      {"unknown venue", {}, "4401069", &m_secret, SEATENROL_REFUSED, -5},
      {"truncated reply", {"--truncate", "20"}, kVenue, &m_secret, SEATENROL_UNUSABLE_REPLY, 0},
      {"no answer", {"--drop"}, kVenue, &m_secret, SEATENROL_NO_ANSWER, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ServerProcess server(m_store, m_venues, c.flags);
    ASSERT_TRUE(server.Ready());
    seatenrol_enrolment result;
    EXPECT_EQ(Enrol(*c.secret, server.Port(), result, "127.0.0.1", c.venue), c.outcome);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.error_no, c.errorNo);
    EXPECT_EQ(seatenrol_last_outcome(), c.outcome);
    const bool answered = c.outcome == SEATENROL_OK || c.outcome == SEATENROL_REFUSED;
    EXPECT_STREQ(result.server_ip, answered ? "127.0.0.1" : "");
    const std::array<unsigned char, 32> zeros{};
    const std::array<unsigned char, 32> expected =
        c.outcome == SEATENROL_OK ? ExpectedCredential(m_secret) : zeros;
    EXPECT_EQ(0, std::memcmp(result.credential, expected.data(), 32));
  }

  seatenrol_enrolment result;
  const int closed = UnusedLoopbackPort();
  EXPECT_EQ(Enrol(m_secret, closed, result), SEATENROL_PORT_UNREACHABLE);
}

TEST_F(CInterface, AnUnresolvedNameIsToldApart) {
  const HostsOnlyRun run = RunWithHostsOnlyLookups([&] {
    seatenrol_enrolment result;
    const int outcome = Enrol(m_secret, 9000, result, "c-api-test.invalid");
    return std::to_string(outcome) + " " + std::to_string(result.outcome) + " " +
           std::to_string(seatenrol_last_outcome()) + " '" + result.server_ip + "' " +
           std::to_string(result.system_error) + " " +
           std::to_string(seatenrol_last_system_error());
  });
  if (!run.confined) GTEST_SKIP() << "name lookups cannot be kept off the network: " << run.output;
  const std::string unresolved = std::to_string(SEATENROL_UNRESOLVED);
  // The resolver's "no such host" is its answer, not a failure of the system.
  EXPECT_EQ(run.output, unresolved + " " + unresolved + " " + unresolved + " '' 0 0");
}

TEST_F(CInterface, AnAcceptedEnrolmentThatCannotBeStoredStillShowsItsGrant) {
  ServerProcess server(m_store, m_venues);
  ASSERT_TRUE(server.Ready());
  const std::string missing = m_store.Path() + "/no-such-folder";
  setenv("SEATENROL_CONFIG_DIR", missing.c_str(), 1);
  seatenrol_enrolment result;
  const int outcome = Enrol(m_secret, server.Port(), result);
  int32_t count = -1;
  const int listed = seatenrol_list_servers(nullptr, 0, &count, nullptr);
  setenv("SEATENROL_CONFIG_DIR", m_store.Path().c_str(), 1);
  EXPECT_EQ(listed, SEATENROL_STORE_FAILED);
  EXPECT_EQ(outcome, SEATENROL_STORE_FAILED);
  EXPECT_STREQ(result.server_ip, "127.0.0.1");
  EXPECT_EQ(0, std::memcmp(result.credential, ExpectedCredential(m_secret).data(), 32));
}

TEST_F(CInterface, BadArgumentsAreRefusedAndRecorded) {
  seatenrol_enrolment result;
  const std::string longName(256, 'a');
  struct Case {
    const char* venue;
    const unsigned char* secret;
    const char* server;
    int port;
  } cases[] = {
      {nullptr, m_secret.data(), "127.0.0.1", 9000},
      {"", m_secret.data(), "127.0.0.1", 9000},
      {"440106123456789012345", m_secret.data(), "127.0.0.1", 9000},  // 21 bytes
      {kVenue, nullptr, "127.0.0.1", 9000},
      {kVenue, m_secret.data(), nullptr, 9000},
      {kVenue, m_secret.data(), longName.c_str(), 9000},
      {kVenue, m_secret.data(), "127.0.0.1", 0},
      {kVenue, m_secret.data(), "127.0.0.1", 65536},
  };
  for (const Case& c : cases) {
    result.size = sizeof result;
    EXPECT_EQ(seatenrol_enrol(c.venue, c.secret, c.server, c.port, &result),
              SEATENROL_BAD_ARGUMENT);
    EXPECT_EQ(result.outcome, SEATENROL_BAD_ARGUMENT);
    EXPECT_EQ(seatenrol_last_outcome(), SEATENROL_BAD_ARGUMENT);
  }
  result.size = offsetof(seatenrol_enrolment, system_error) - 1;
  EXPECT_EQ(seatenrol_enrol(kVenue, m_secret.data(), "127.0.0.1", 9000, &result),
            SEATENROL_BAD_ARGUMENT);
  EXPECT_EQ(seatenrol_get_identity(nullptr), SEATENROL_BAD_ARGUMENT);
  EXPECT_EQ(seatenrol_list_servers(nullptr, 0, nullptr, nullptr), SEATENROL_BAD_ARGUMENT);
  EXPECT_EQ(seatenrol_forget_server(nullptr, 9000), SEATENROL_BAD_ARGUMENT);
  EXPECT_STREQ(seatenrol_outcome_text(-1), "unknown outcome");
}

TEST_F(CInterface, TheCxxSessionLeavesItsReasonForTheThread) {
  ServerProcess server(m_store, m_venues);
  ASSERT_TRUE(server.Ready());
  unsigned char venue[20] = "440106123456";
  seatenrol::VenueSecret wrong = MakeSecret(9);
  unsigned char name[] = "127.0.0.1";
  CRegisterSession session;
  EXPECT_FALSE(session.RegisterServer(venue, wrong.data(), name, server.Port()));
  EXPECT_EQ(seatenrol_last_outcome(), SEATENROL_REFUSED);
  EXPECT_FALSE(session.RegisterServer(venue, wrong.data(), name, UnusedLoopbackPort()));
  EXPECT_EQ(seatenrol_last_outcome(), SEATENROL_PORT_UNREACHABLE);
}

TEST_F(CInterface, ListAndForgetAgreeWithTheStore) {
  int32_t count = -1;
  int32_t source = -1;
  ASSERT_EQ(seatenrol_list_servers(nullptr, 0, &count, &source), SEATENROL_OK);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(source, SEATENROL_LIST_NONE_YET);

  ServerProcess first(m_store, m_venues);
  ServerProcess second(m_store, m_venues);
  ASSERT_TRUE(first.Ready() && second.Ready());
  seatenrol_enrolment result;
  ASSERT_EQ(Enrol(m_secret, first.Port(), result), SEATENROL_OK);
  ASSERT_EQ(Enrol(m_secret, second.Port(), result), SEATENROL_OK);

  seatenrol_server servers[1];
  ASSERT_EQ(seatenrol_list_servers(servers, 1, &count, &source), SEATENROL_OK);
  EXPECT_EQ(count, 2);  // more than the room given
  EXPECT_EQ(source, SEATENROL_LIST_PRIMARY);
  EXPECT_STREQ(servers[0].name, "127.0.0.1");
  EXPECT_EQ(servers[0].port, first.Port());
  EXPECT_EQ(servers[0].enrolled, 1);

  EXPECT_EQ(seatenrol_forget_server("127.0.0.1", first.Port()), SEATENROL_OK);
  EXPECT_EQ(seatenrol_forget_server("127.0.0.1", first.Port()), SEATENROL_NOT_FOUND);
  ASSERT_EQ(seatenrol_list_servers(servers, 1, &count, nullptr), SEATENROL_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(servers[0].port, second.Port());
  EXPECT_EQ(seatenrol_forget_all(), SEATENROL_OK);
  ASSERT_EQ(seatenrol_list_servers(nullptr, 0, &count, nullptr), SEATENROL_OK);
  EXPECT_EQ(count, 0);

  char path[4096];
  int32_t needed = 0;
  ASSERT_EQ(seatenrol_store_path(path, sizeof path, &needed), SEATENROL_OK);
  EXPECT_EQ(std::string(path), m_store.Path() + "/regaddrs.dat");
  EXPECT_EQ(seatenrol_store_path(path, 4, &needed), SEATENROL_BAD_ARGUMENT);
  EXPECT_EQ(needed, static_cast<int32_t>(std::strlen(path) + 1));
}

TEST_F(CInterface, IdentityIsTheRequestBuildersAndTheVersionTheHeaders) {
  seatenrol_identity identity;
  identity.size = sizeof identity;
  ASSERT_EQ(seatenrol_get_identity(&identity), SEATENROL_OK);
  unsigned char mac[6];
  ASSERT_TRUE(SeatMac(mac));
  EXPECT_EQ(0, std::memcmp(identity.mac, mac, sizeof mac));
  EXPECT_NE(identity.ip[0], '\0');
  EXPECT_EQ(identity.host_name[20], '\0');
  EXPECT_STREQ(seatenrol_version(), SEATENROL_VERSION_STRING);
}

}  // namespace
}  // namespace seatenrol_test
