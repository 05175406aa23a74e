// Seats described as adapter tables, each with what the adapter rule gives
// for it: shared by the rule's tests and those of the tools that explain it.
#ifndef SEATENROL_TESTS_HOSTINFO_RULE_CASES_H
#define SEATENROL_TESTS_HOSTINFO_RULE_CASES_H

#include <set>
#include <string>
#include <vector>

#include "fake_host.h"

namespace seatenrol {
namespace testing_support {

using Bytes = std::vector<unsigned char>;

inline constexpr unsigned char kCardMac[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

inline AdapterRecord Card(const char* name, const char* address, const char* mask,
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

// The seats of the adapter rule's table, each with what the rule must give.
inline std::vector<RuleCase> RuleCases() {
  const Bytes kCard(kCardMac, kCardMac + 6);
  const Bytes kNoMac(6, 0);
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

// The seat of a rule case as a fake host.
inline FakeHost HostOf(const RuleCase& c) {
  FakeHost host;
  host.adapters = c.adapters;
  host.physical = c.physical;
  host.resolves = c.resolves;
  host.entry = c.host;
  return host;
}

}  // namespace testing_support
}  // namespace seatenrol

#endif
