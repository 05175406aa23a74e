#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fake_host.h"
#include "hostinfo/adapter_rule.h"
#include "hostinfo/host_identity.h"

namespace seatenrol {
namespace {

using testing_support::Adapter;
using testing_support::Entry;
using testing_support::FakeHost;
using Bytes = std::vector<unsigned char>;

constexpr unsigned char kUntouched = 0xEE;
constexpr unsigned char kCardMac[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

AdapterRecord Card(const char* name, const char* address, const char* mask,
                   std::vector<std::string> gateways) {
  return Adapter(name, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, {{address, mask}},
                 std::move(gateways));
}

struct RuleCase {
  const char* what;
  std::vector<AdapterRecord> adapters;
  std::set<std::string> physical;
  bool resolves;
  HostEntry host;
  int outLength;
  int result;
  Bytes out;       // the first bytes of out; every later byte stays untouched
  const char* ip;  // the instance's IP text afterwards
  Bytes mac;       // the instance's MAC afterwards
};

const Bytes kCard(kCardMac, kCardMac + 6);
const Bytes kNoMac(6, 0);

std::vector<RuleCase> RuleCases() {
  return {
      {"physical adapter with its gateway in the subnet",
       {Card("eth0", "192.168.1.10", "255.255.255.0", {"192.168.1.1"})},
       {"eth0"},
       true,
       Entry({"192.168.1.10"}),
       6,
       1,
       kCard,
       "192.168.1.10",
       kCard},
      {"eight-byte hardware address into six bytes of out",
       {Adapter("fw0", {1, 2, 3, 4, 5, 6, 7, 8}, {{"10.0.0.2", "255.0.0.0"}}, {"10.9.9.9"})},
       {"fw0"},
       true,
       Entry({"10.0.0.2"}),
       6,
       1,
       {1, 2, 3, 4, 5, 6},
       "10.0.0.2",
       {1, 2, 3, 4, 5, 6}},
      {"eight-byte hardware address into a larger out",
       {Adapter("fw0", {1, 2, 3, 4, 5, 6, 7, 8}, {{"10.0.0.2", "255.0.0.0"}}, {"10.9.9.9"})},
       {"fw0"},
       true,
       Entry({"10.0.0.2"}),
       12,
       1,
       {1, 2, 3, 4, 5, 6, 7, 8},
       "10.0.0.2",
       {1, 2, 3, 4, 5, 6}},
      {"virtual adapters only",
       {Card("vpn0", "192.168.1.10", "255.255.255.0", {"192.168.1.1"})},
       {},
       true,
       Entry({"192.168.1.10"}),
       6,
       0,
       {},
       "",
       kNoMac},
      {"gateway outside the subnet gives the fallback bytes",
       {Card("eth0", "192.168.1.10", "255.255.255.0", {"10.0.0.1"})},
       {"eth0"},
       true,
       Entry({"192.168.1.10"}),
       6,
       1,
       {192, 168, 1, 10, 0, 0},
       "",
       kNoMac},
      {"no gateway at all gives the fallback bytes",
       {Card("eth0", "192.168.1.10", "255.255.255.0", {})},
       {"eth0"},
       true,
       Entry({"192.168.1.10"}),
       8,
       1,
       {192, 168, 1, 10, 0, 0, 0, 0},
       "",
       kNoMac},
      {"fallback into an out shorter than an address stays inside it",
       {Card("eth0", "192.168.1.10", "255.255.255.0", {})},
       {"eth0"},
       true,
       Entry({"192.168.1.10"}),
       2,
       1,
       {192, 168},
       "",
       kNoMac},
      {"zero hardware address is neither chosen nor a fallback",
       {Adapter("eth0", {0, 0, 0, 0, 0, 0, 9, 9}, {{"192.168.1.10", "255.255.255.0"}},
                {"192.168.1.1"})},
       {"eth0"},
       true,
       Entry({"192.168.1.10"}),
       6,
       0,
       {},
       "",
       kNoMac},
      {"loopback address is neither chosen nor a fallback",
       {Card("eth0", "127.0.0.1", "255.0.0.0", {"127.0.0.1"})},
       {"eth0"},
       false,
       {},
       6,
       0,
       {},
       "",
       kNoMac},
      {"host name unresolvable: every address passes the membership test",
       {Card("eth0", "172.16.5.4", "255.255.0.0", {"172.16.0.1"})},
       {"eth0"},
       false,
       {},
       6,
       1,
       kCard,
       "172.16.5.4",
       kCard},
      {"address not among the host name's addresses",
       {Card("eth0", "172.16.5.4", "255.255.0.0", {"172.16.0.1"})},
       {"eth0"},
       true,
       Entry({"172.16.5.5"}),
       6,
       0,
       {},
       "",
       kNoMac},
      {"host entry without addresses refuses every address",
       {Card("eth0", "172.16.5.4", "255.255.0.0", {"172.16.0.1"})},
       {"eth0"},
       true,
       HostEntry{},
       6,
       0,
       {},
       "",
       kNoMac},
      {"unconfigured adapter address 0.0.0.0 is skipped",
       {Card("eth0", "0.0.0.0", "0.0.0.0", {"0.0.0.0"})},
       {"eth0"},
       false,
       {},
       6,
       0,
       {},
       "",
       kNoMac},
      {"second address of an adapter matches after the first fails its gateway",
       {Adapter("eth0", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E},
                {{"10.1.0.5", "255.255.0.0"}, {"192.168.1.10", "255.255.255.0"}},
                {"172.31.0.1", "192.168.1.1"})},
       {"eth0"},
       false,
       {},
       6,
       1,
       kCard,
       "192.168.1.10",
       kCard},
      {"several adapters: virtual and zero-MAC ones are passed over",
       {Card("vnet", "192.168.1.20", "255.255.255.0", {"192.168.1.1"}),
        Adapter("eth0", {0, 0, 0, 0, 0, 0}, {{"192.168.1.30", "255.255.255.0"}}, {"192.168.1.1"}),
        Adapter("eth1", {0xA, 0xB, 0xC, 0xD, 0xE, 0xF}, {{"192.168.1.40", "255.255.255.0"}},
                {"192.168.1.1"}),
        Card("eth2", "192.168.1.50", "255.255.255.0", {"192.168.1.1"})},
       {"eth0", "eth1", "eth2"},
       false,
       {},
       6,
       1,
       {0xA, 0xB, 0xC, 0xD, 0xE, 0xF},
       "192.168.1.40",
       {0xA, 0xB, 0xC, 0xD, 0xE, 0xF}},
      {"several adapters: the fallback is the last address that passed",
       {Card("eth0", "10.0.0.7", "255.255.255.0", {"10.9.0.1"}),
        Card("eth1", "10.0.1.8", "255.255.255.0", {})},
       {"eth0", "eth1"},
       false,
       {},
       6,
       1,
       {10, 0, 1, 8, 0, 0},
       "",
       kNoMac},
  };
}

TEST(AdapterRule, ChoosesByTheRuleInListOrder) {
  for (const RuleCase& c : RuleCases()) {
    SCOPED_TRACE(c.what);
    FakeHost host;
    host.adapters = c.adapters;
    host.physical = c.physical;
    host.resolves = c.resolves;
    host.entry = c.host;
    CHostIdentity identity;
    unsigned char out[16];
    std::memset(out, kUntouched, sizeof out);

    EXPECT_EQ(identity.FindLocalAdapter(out, c.outLength, host.System()), c.result);

    Bytes expected = c.out;
    expected.resize(sizeof out, kUntouched);
    EXPECT_EQ(Bytes(out, out + sizeof out), expected);
    EXPECT_STREQ(identity.IPText(), c.ip);
    EXPECT_EQ(Bytes(identity.Mac(), identity.Mac() + 6), c.mac);
  }
}

TEST(AdapterRule, RefusesBadOutAndUnreadableAdapterList) {
  FakeHost host;
  host.adapters = {Card("eth0", "192.168.1.10", "255.255.255.0", {"192.168.1.1"})};
  host.physical = {"eth0"};
  host.resolves = false;
  CHostIdentity identity;
  unsigned char out[6] = {};
  EXPECT_EQ(identity.FindLocalAdapter(nullptr, 6, host.System()), 0);
  EXPECT_EQ(identity.FindLocalAdapter(out, 0, host.System()), 0);
  EXPECT_EQ(host.calls, 0);
  host.adaptersReadable = false;
  EXPECT_EQ(identity.FindLocalAdapter(out, 6, host.System()), 0);
  EXPECT_STREQ(identity.IPText(), "");
}

TEST(HostAddressWalk, TakesTheFirstUsableTextElseTheLast) {
  struct {
    std::vector<std::string> texts;
    const char* chosen;
  } cases[] = {
      {{"127.0.0.1"}, "127.0.0.1"},
      {{"300.1.1.1", "10.0.0.5"}, "10.0.0.5"},
      {{"127.0.0.1", "10.0.0.5", "10.0.0.6"}, "10.0.0.5"},
      {{"127.0.0.1", "bad"}, "bad"},
      {{}, nullptr},
      {{"127.0.0.1", ""}, nullptr},
  };
  for (const auto& c : cases) {
    const char* chosen = ChooseHostAddressText(c.texts);
    if (c.chosen == nullptr) {
      EXPECT_EQ(chosen, nullptr);
    } else {
      EXPECT_STREQ(chosen, c.chosen);
    }
  }
}

// A scripted adapter-table query: each call takes the next result and, for
// an overflow, writes back the size it asks for.
struct ScriptedQuery {
  std::vector<unsigned long> results;
  unsigned long neededSize = 0;
  std::vector<unsigned long> sizesSeen;

  AdapterTableQuery Query() {
    return [this](void* buffer, unsigned long* size) {
      sizesSeen.push_back(*size);
      const unsigned long result = results.at(sizesSeen.size() - 1);
      if (result == kBufferOverflow) {
        *size = neededSize;
      } else if (result == 0) {
        std::memset(buffer, 0x5A, *size);
      }
      return result;
    };
  }
};

TEST(AdapterTable, QueriesTwiceAndGrowsToTheReportedSize) {
  struct {
    const char* what;
    std::vector<unsigned long> results;
    bool fetched;
    std::vector<unsigned long> sizes;
  } cases[] = {
      {"one adapter fits the first buffer", {0, 0}, true, {640, 640}},
      {"several adapters need a larger buffer", {kBufferOverflow, 0}, true, {640, 1920}},
      {"the second query fails", {kBufferOverflow, 232}, false, {640, 1920}},
      {"no adapters at all", {232, 232}, false, {640, 640}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedQuery script;
    script.results = c.results;
    script.neededSize = 1920;
    std::vector<unsigned char> buffer;
    EXPECT_EQ(FetchAdapterTable(script.Query(), buffer), c.fetched);
    EXPECT_EQ(script.sizesSeen, c.sizes);
    if (c.fetched) {
      ASSERT_EQ(buffer.size(), c.sizes.back());
      EXPECT_EQ(buffer.back(), 0x5A);
    } else {
      EXPECT_TRUE(buffer.empty());
    }
  }
}

}  // namespace
}  // namespace seatenrol
