#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/hex.h"
#include "fake_host.h"
#include "rule_cases.h"
#include "seat-enrol/identity_report.h"

namespace seatenrol {
namespace {

using testing_support::Adapter;
using testing_support::Card;
using testing_support::Entry;
using testing_support::FakeHost;
using testing_support::HostOf;
using testing_support::RuleCase;
using testing_support::RuleCases;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// What the request builder would get from the same seat.
struct Direct {
  std::string ip;
  unsigned char mac[6] = {};
  bool haveMac = false;
};

Direct AskDirectly(FakeHost& host) {
  Direct direct;
  CHostIdentity identity;
  if (const char* ip = identity.GetSystemIP(host.System())) direct.ip = ip;
  direct.haveMac = identity.GetSystemMac(direct.mac, sizeof direct.mac, host.System()) == 1;
  return direct;
}

TEST(IdentityReport, GivesWhatTheLibraryGivesForEveryRuleTable) {
  for (const RuleCase& c : RuleCases()) {
    SCOPED_TRACE(c.what);
    FakeHost host = HostOf(c);
    const Direct direct = AskDirectly(host);
    const IdentityProbe probe = GatherIdentity(host.System());
    const IdentityAnalysis analysis = AnalyseIdentity(probe);

    EXPECT_EQ(analysis.ip, direct.ip);
    ASSERT_EQ(analysis.macSource != Source::kNone, direct.haveMac);
    if (direct.haveMac) {
      EXPECT_EQ(0, std::memcmp(analysis.mac, direct.mac, 6));
    }
    // The adapter rule's own out buffer says which kind of MAC this is.
    if (c.result == 1 && analysis.choice.matched) {
      EXPECT_EQ(analysis.macSource, Source::kAdapter);
      EXPECT_EQ(analysis.ipSource, Source::kAdapter);
    } else if (c.result == 1) {
      EXPECT_EQ(analysis.macSource, Source::kFallbackBytes);
    }

    const std::string explained = ExplainIdentity(probe, analysis);
    for (const AdapterRecord& adapter : c.adapters) {
      EXPECT_TRUE(Has(explained, "  " + adapter.name + ": ")) << explained;
    }
    for (const RuleTraceStep& step : analysis.trace) {
      const std::string& name = c.adapters[step.adapter].name;
      const std::string subject =
          step.address == RuleTraceStep::kNone
              ? name
              : name + " " + c.adapters[step.adapter].addresses[step.address].address;
      EXPECT_TRUE(Has(explained, "\n  " + subject + ": ")) << explained;
    }
    EXPECT_TRUE(Has(explained, analysis.choice.matched ? ": taken: " : "\nfallback: "));
  }
}

// The seat of a Linux machine whose host name maps to loopback: its card
// meets every test but the host name's.
FakeHost LoopbackNamedSeat() {
  FakeHost host;
  host.name = "vm";
  host.entry = Entry({"127.0.0.1"});
  host.adapters = {Adapter("lo", {0, 0, 0, 0, 0, 0}, {{"127.0.0.1", "255.0.0.0"}}, {}),
                   Adapter("wlan0", {2, 0, 0, 0, 0, 9}, {}, {}),
                   Card("eth0", "192.0.2.2", "255.255.255.0", {"192.0.2.1"})};
  host.physical = {"wlan0", "eth0"};
  return host;
}

TEST(IdentityReport, SaysWhyALoopbackHostNameGivesTheLoopbackAddress) {
  FakeHost host = LoopbackNamedSeat();
  const IdentityProbe probe = GatherIdentity(host.System());
  const IdentityAnalysis analysis = AnalyseIdentity(probe);
  const std::string explained = ExplainIdentity(probe, analysis);
  for (const char* part : {
           "host name's addresses: 127.0.0.1\n",
           "maps to loopback only",
           "  lo: not physical (the physical-adapter test says not)\n",
           "  eth0: physical",
           "    hardware address 001a2b3c4d5e\n",
           "    address 192.0.2.2 mask 255.255.255.0\n",
           "    gateway 192.0.2.1\n",
           "  lo: passed over: not a physical adapter\n  wlan0: no IPv4 address to try\n"
           "  eth0 192.0.2.2: passed over: not one of the host name's addresses\n",
           "fallback: no adapter address passed all but the gateway test, so the mac falls back "
           "to the bytes of the host name's address\n",
           "ip: 127.0.0.1 (from the host name's address list",
           "mac: 7f0000010000 (not a hardware address: the bytes of 127.0.0.1",
           "host name: vm\n",
       }) {
    EXPECT_TRUE(Has(explained, part)) << part << "\n" << explained;
  }
  EXPECT_EQ(DescribeIdentity(probe, analysis).find("ip: 127.0.0.1 (from the host"), 0u);
}

TEST(IdentityReport, NamesTheTakenAdapterAndTheReasonsItWasGiven) {
  FakeHost host = LoopbackNamedSeat();
  host.entry = Entry({"127.0.0.1", "192.0.2.2"});
  // Windows describes its adapters in the system's code page.
  host.adapters[2].description = "PCIe \xBF\xD8\xD6\xC6\xC6\xF7";
  const IdentityProbe probe = GatherIdentity(host.System(), [](const char* name, std::string& why) {
    why = std::string("asked about ") + name;
    return std::strcmp(name, "eth0") == 0;
  });
  const IdentityAnalysis analysis = AnalyseIdentity(probe);
  const std::string explained = ExplainIdentity(probe, analysis);
  for (const char* part : {
           "  lo: not physical (asked about lo)\n",
           "  eth0 (PCIe \xE6\x8E\xA7\xE5\x88\xB6\xE5\x99\xA8): physical (asked about eth0)\n",
           "  eth0 192.0.2.2: taken: gateway 192.0.2.1 lies in its subnet (mask 255.255.255.0)\n",
           "ip: 192.0.2.2 (from adapter eth0)\n",
           "mac: 001a2b3c4d5e (from adapter eth0)\n",
       }) {
    EXPECT_TRUE(Has(explained, part)) << part << "\n" << explained;
  }
  EXPECT_FALSE(Has(explained, "maps to loopback only"));
}

TEST(IdentityReport, SaysWhatTheSystemDidNotTell) {
  struct {
    const char* what;
    bool hasName, resolves, adaptersReadable;
    std::vector<const char*> parts;
  } cases[] = {
      {"no host name", false, true, true, {"host name: (not found), so the rule takes", "ip: "}},
      {"unresolved name",
       true,
       false,
       true,
       {"(the name does not resolve), so the rule takes", "ip: 192.0.2.2 (from adapter eth0)"}},
      {"no adapter list",
       true,
       true,
       false,
       {"adapters: the system's list cannot be read\n", "ip: 127.0.0.1 (from the host name's"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host = LoopbackNamedSeat();
    host.hasName = c.hasName;
    host.resolves = c.resolves;
    host.adaptersReadable = c.adaptersReadable;
    const IdentityProbe probe = GatherIdentity(host.System());
    const std::string explained = ExplainIdentity(probe, AnalyseIdentity(probe));
    for (const char* part : c.parts) EXPECT_TRUE(Has(explained, part)) << part << "\n" << explained;
  }
}

}  // namespace
}  // namespace seatenrol
