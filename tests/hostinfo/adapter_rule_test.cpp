#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "fake_host.h"
#include "hostinfo/adapter_rule.h"
#include "hostinfo/host_identity.h"
#include "rule_cases.h"

namespace seatenrol {
namespace {

using testing_support::Adapter;
using testing_support::Bytes;
using testing_support::Card;
using testing_support::Entry;
using testing_support::FakeHost;
using testing_support::HostOf;
using testing_support::RuleCase;
using testing_support::RuleCases;

constexpr unsigned char kUntouched = 0xEE;
TEST(AdapterRule, ChoosesByTheRuleInListOrder) {
  for (const RuleCase& c : RuleCases()) {
    SCOPED_TRACE(c.what);
    FakeHost host = HostOf(c);
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

// The trace tells the same story as the choice: one taken step, last, where
// the choice points; the fallback is the last address kept as one; and every
// adapter up to the choice shows up.
TEST(AdapterRule, TraceAgreesWithTheChoice) {
  for (const RuleCase& c : RuleCases()) {
    SCOPED_TRACE(c.what);
    FakeHost host = HostOf(c);
    const HostSystem system = host.System();
    const HostEntry* entry = c.resolves ? &c.host : nullptr;
    RuleTrace trace;
    const AdapterChoice plain = ChooseAdapter(c.adapters, entry, system.isPhysical);
    const AdapterChoice traced = ChooseAdapter(c.adapters, entry, system.isPhysical, &trace);
    EXPECT_EQ(traced.matched, plain.matched);
    EXPECT_EQ(traced.fallback, plain.fallback);

    std::size_t taken = 0;
    std::uint32_t lastKept = 0;
    std::set<std::size_t> adaptersSeen;
    for (const RuleTraceStep& step : trace) {
      adaptersSeen.insert(step.adapter);
      if (step.step == RuleStep::kTaken) ++taken;
      if (step.step == RuleStep::kTaken || step.step == RuleStep::kNoGateway) {
        lastKept = AddressValue(c.adapters[step.adapter].addresses[step.address].address.c_str());
      }
    }
    EXPECT_EQ(lastKept, traced.fallback);
    EXPECT_EQ(taken, traced.matched ? 1u : 0u);
    const std::size_t examined = traced.matched ? traced.adapter + 1 : c.adapters.size();
    for (std::size_t a = 0; a < examined; ++a) {
      EXPECT_TRUE(adaptersSeen.count(a) == 1 || c.adapters[a].addresses.empty()) << a;
    }
    if (traced.matched) {
      ASSERT_FALSE(trace.empty());
      EXPECT_EQ(trace.back().step, RuleStep::kTaken);
      EXPECT_EQ(trace.back().adapter, traced.adapter);
      EXPECT_EQ(trace.back().address, traced.address);
      EXPECT_LT(trace.back().gateway, c.adapters[traced.adapter].gateways.size());
    }
  }
}

TEST(AdapterRule, TraceNamesTheStepForEachCandidate) {
  using S = RuleStep;
  constexpr std::size_t kNone = RuleTraceStep::kNone;
  struct Expected {
    std::size_t adapter, address, gateway;
    RuleStep step;
  };
  struct {
    const char* what;  // a case of RuleCases()
    std::vector<Expected> steps;
  } cases[] = {
      {"several adapters: virtual and zero-MAC ones are passed over",
       {{0, kNone, kNone, S::kNotPhysical},
        {1, kNone, kNone, S::kZeroHardware},
        {2, 0, 0, S::kTaken}}},
      {"second address of an adapter matches after the first fails its gateway",
       {{0, 0, kNone, S::kNoGateway}, {0, 1, 1, S::kTaken}}},
      {"loopback address is neither chosen nor a fallback", {{0, 0, kNone, S::kLoopback}}},
      {"unconfigured adapter address 0.0.0.0 is skipped", {{0, 0, kNone, S::kUnusable}}},
      {"address not among the host name's addresses", {{0, 0, kNone, S::kNotHostAddress}}},
  };
  const std::vector<RuleCase> rules = RuleCases();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto rule = std::find_if(rules.begin(), rules.end(), [&](const RuleCase& r) {
      return std::string(r.what) == c.what;
    });
    ASSERT_NE(rule, rules.end());
    FakeHost host = HostOf(*rule);
    RuleTrace trace;
    ChooseAdapter(rule->adapters, rule->resolves ? &rule->host : nullptr, host.System().isPhysical,
                  &trace);
    ASSERT_EQ(trace.size(), c.steps.size());
    for (std::size_t i = 0; i < trace.size(); ++i) {
      EXPECT_EQ(trace[i].adapter, c.steps[i].adapter) << i;
      EXPECT_EQ(trace[i].address, c.steps[i].address) << i;
      EXPECT_EQ(trace[i].gateway, c.steps[i].gateway) << i;
      EXPECT_EQ(trace[i].step, c.steps[i].step) << i;
    }
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
// an overflow, writes back the size it asks for. The table grows by growth
// bytes after each overflow, as adapters come up between two calls.
struct ScriptedQuery {
  std::vector<unsigned long> results;
  unsigned long neededSize = 0;
  unsigned long growth = 0;
  std::vector<unsigned long> sizesSeen;

  AdapterTableQuery Query() {
    return [this](void* buffer, unsigned long* size) {
      sizesSeen.push_back(*size);
      const unsigned long result = results.at(sizesSeen.size() - 1);
      if (result == kBufferOverflow) {
        *size = neededSize;
        neededSize += growth;
      } else if (result == 0) {
        std::memset(buffer, 0x5A, *size);
      }
      return result;
    };
  }
};

TEST(AdapterTable, QueriesTwiceAndGrowsToTheReportedSizeUntilItFits) {
  constexpr unsigned long kOverflow = kBufferOverflow;
  struct {
    const char* what;
    std::vector<unsigned long> results;
    unsigned long needed;
    unsigned long growth;
    bool fetched;
    std::vector<unsigned long> sizes;
  } cases[] = {
      {"one adapter fits the first buffer", {0, 0}, 1920, 0, true, {640, 640}},
      {"several adapters need a larger buffer", {kOverflow, 0}, 1920, 0, true, {640, 1920}},
      {"the second query fails", {kOverflow, 232}, 1920, 0, false, {640, 1920}},
      {"no adapters at all", {232, 232}, 1920, 0, false, {640, 640}},
      {"the table grows between the two queries",
       {kOverflow, kOverflow, 0},
       1920,
       640,
       true,
       {640, 1920, 2560}},
      {"it grows three times",
       {kOverflow, kOverflow, kOverflow, kOverflow, 0},
       1920,
       640,
       true,
       {640, 1920, 2560, 3200, 3840}},
      {"it grows a fourth time",
       {kOverflow, kOverflow, kOverflow, kOverflow, kOverflow},
       1920,
       640,
       false,
       {640, 1920, 2560, 3200, 3840}},
      {"a size past the limit is not allocated",
       {kOverflow},
       kAdapterTableLimit + 1,
       0,
       false,
       {640}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedQuery script;
    script.results = c.results;
    script.neededSize = c.needed;
    script.growth = c.growth;
    AdapterTable table;
    EXPECT_EQ(FetchAdapterTable(script.Query(), table), c.fetched);
    EXPECT_EQ(script.sizesSeen, c.sizes);
    if (c.fetched) {
      ASSERT_EQ(table.Size(), c.sizes.back());
      EXPECT_EQ(table.Data()[table.Size() - 1], 0x5A);
    } else {
      EXPECT_EQ(table.Size(), 0u);
      EXPECT_EQ(table.Data(), nullptr);
    }
  }
}

}  // namespace
}  // namespace seatenrol
