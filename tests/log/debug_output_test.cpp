#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "log/log.h"
#include "seatenrol/debug_output.h"
#include "wait_for.h"

namespace seatenrol {
namespace {

void Collect(const char* text, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(text);
}

TEST(DebugOutput, ReachesTheHostSinkUntilItIsRemoved) {
  std::vector<std::string> seen;
  SeatenrolSetDebugSink(Collect, &seen);
  DebugOutput("first\n");
  DebugOutput(nullptr);
  SeatenrolSetDebugSink(nullptr, nullptr);
  DebugOutput("second\n");
  EXPECT_EQ(seen, std::vector<std::string>({"first\n"}));
}

// A sink whose first call stays inside until released, to hold one thread
// in it; later calls return at once.
struct HeldSink {
  std::atomic<bool> entered{false};
  std::atomic<bool> release{false};
};

void Hold(const char*, void* context) {
  auto* held = static_cast<HeldSink*>(context);
  if (held->entered.exchange(true)) return;
  WaitFor([held] { return held->release.load(); });
}

// The setter waits for a call of the sink it replaced, but not for one of
// the sink it installed.
TEST(DebugOutput, ReplacingTheSinkWaitsForCallsOfTheOldOneOnly) {
  HeldSink old;
  HeldSink next;
  SeatenrolSetDebugSink(Hold, &old);
  std::thread writer([] { DebugOutput("held\n"); });
  ASSERT_TRUE(WaitFor([&old] { return old.entered.load(); }));

  std::atomic<bool> replaced{false};
  std::thread replacer([&replaced, &next] {
    SeatenrolSetDebugSink(Hold, &next);
    replaced = true;
  });
  // Once the new sink is in place, a call stays in it.
  std::thread nextWriter(
      [&next] { WaitFor([&next] { return DebugOutput("next\n"), next.entered.load(); }); });
  ASSERT_TRUE(WaitFor([&next] { return next.entered.load(); }));
  // While the writer is inside the old sink its context must stay alive, so
  // the replacement may not have returned yet.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(replaced);
  old.release = true;
  EXPECT_TRUE(WaitFor([&replaced] { return replaced.load(); }));
  next.release = true;
  writer.join();
  replacer.join();
  nextWriter.join();
  SeatenrolSetDebugSink(nullptr, nullptr);
}

// A sink that stays until two threads are inside it at once, then does what
// its context asks.
struct Meeting {
  std::atomic<int> inside{0};
  std::atomic<int> met{0};
  bool installFromInside = false;
};

void Meet(const char*, void* context) {
  auto* meeting = static_cast<Meeting*>(context);
  ++meeting->inside;
  if (WaitFor([meeting] { return meeting->inside >= 2; })) ++meeting->met;
  if (meeting->installFromInside) SeatenrolSetDebugSink(Meet, meeting);
}

// Two threads inside the sink at once, both changing it from inside: neither
// may wait for the other. A deadlock cannot be undone, so it ends the run.
TEST(DebugOutput, SinksRunOnSeveralThreadsAtOnceAndMayEachChangeTheSink) {
  for (const bool installFromInside : {false, true}) {
    Meeting meeting;
    meeting.installFromInside = installFromInside;
    SeatenrolSetDebugSink(Meet, &meeting);
    std::atomic<int> returned{0};
    std::thread first([&returned] {
      DebugOutput("first\n");
      ++returned;
    });
    std::thread second([&returned] {
      DebugOutput("second\n");
      ++returned;
    });
    if (!WaitFor([&returned] { return returned == 2; })) {
      std::fprintf(stderr, "the sinks wait for each other\n");
      std::abort();
    }
    first.join();
    second.join();
    SeatenrolSetDebugSink(nullptr, nullptr);
    EXPECT_EQ(meeting.met, 2) << installFromInside;
  }
}

// A sink that changes the sink from inside: the first call then stays until
// released; a later call must wait for it, since it has finished changing
// the sink but not yet left the one it replaced.
struct Relay {
  std::atomic<int> entered{0};
  std::atomic<bool> release{false};
  std::atomic<bool> laterChanged{false};
};

void InstallThenHold(const char*, void* context) {
  auto* relay = static_cast<Relay*>(context);
  const bool first = ++relay->entered == 1;
  SeatenrolSetDebugSink(InstallThenHold, relay);
  if (first) {
    WaitFor([relay] { return relay->release.load(); });
  } else {
    relay->laterChanged = true;
  }
}

TEST(DebugOutput, ChangingTheSinkFromASinkWaitsForOneThatChangedItBefore) {
  Relay relay;
  SeatenrolSetDebugSink(InstallThenHold, &relay);
  std::thread first([] { DebugOutput("first\n"); });
  ASSERT_TRUE(WaitFor([&relay] { return relay.entered == 1; }));
  std::thread later([] { DebugOutput("later\n"); });
  ASSERT_TRUE(WaitFor([&relay] { return relay.entered == 2; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(relay.laterChanged);
  relay.release = true;
  first.join();
  later.join();
  EXPECT_TRUE(relay.laterChanged);
  SeatenrolSetDebugSink(nullptr, nullptr);
}

// Thread "a" changes the sink from inside the first while another setter
// waits for it; "d" stays inside the second.
struct Scene {
  std::atomic<bool> aEntered{false};
  std::atomic<bool> aGo{false};
  std::atomic<bool> aChanging{false};
  std::atomic<bool> aRelease{false};
  std::atomic<bool> dEntered{false};
  std::atomic<bool> dRelease{false};
};

void SecondSink(const char* text, void* context) {
  auto* scene = static_cast<Scene*>(context);
  if (std::string(text) != "d") return;
  scene->dEntered = true;
  WaitFor([scene] { return scene->dRelease.load(); });
}

void FirstSink(const char* text, void* context) {
  auto* scene = static_cast<Scene*>(context);
  if (std::string(text) != "a") return;
  scene->aEntered = true;
  WaitFor([scene] { return scene->aGo.load(); });
  scene->aChanging = true;
  SeatenrolSetDebugSink(SecondSink, scene);
  WaitFor([scene] { return scene->aRelease.load(); });
}

// The setter waits for a thread inside the sink it replaced even while that
// thread is changing the sink itself, waiting for a newer sink's call.
TEST(DebugOutput, ChangingTheSinkWaitsForAThreadChangingItFromInside) {
  Scene scene;
  SeatenrolSetDebugSink(FirstSink, &scene);
  std::thread a([] { DebugOutput("a"); });
  ASSERT_TRUE(WaitFor([&scene] { return scene.aEntered.load(); }));
  std::atomic<bool> changed{false};
  std::thread setter([&scene, &changed] {
    SeatenrolSetDebugSink(SecondSink, &scene);
    changed = true;
  });
  std::thread d(
      [&scene] { WaitFor([&scene] { return DebugOutput("d"), scene.dEntered.load(); }); });
  ASSERT_TRUE(WaitFor([&scene] { return scene.dEntered.load(); }));
  scene.aGo = true;
  ASSERT_TRUE(WaitFor([&scene] { return scene.aChanging.load(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(changed);
  scene.dRelease = true;
  scene.aRelease = true;
  a.join();
  d.join();
  setter.join();
  EXPECT_TRUE(changed);
  SeatenrolSetDebugSink(nullptr, nullptr);
}

void InstallCollector(const char*, void* context) {
  // A sink may hand the output on to another from inside its own call.
  SeatenrolSetDebugSink(Collect, context);
}

TEST(DebugOutput, ASinkMayInstallAnotherFromItsOwnCall) {
  std::vector<std::string> seen;
  SeatenrolSetDebugSink(InstallCollector, &seen);
  DebugOutput("first\n");
  DebugOutput("second\n");
  SeatenrolSetDebugSink(nullptr, nullptr);
  EXPECT_EQ(seen, std::vector<std::string>({"second\n"}));
}

#if !defined(_WIN32)
TEST(DebugOutput, StandardErrorOnlyWhenAskedForAndNoSinkIsInstalled) {
  unsetenv("SEATENROL_DEBUG");
  testing::internal::CaptureStderr();
  DebugOutput("silent\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  setenv("SEATENROL_DEBUG", "1", 1);
  testing::internal::CaptureStderr();
  DebugOutput("shown\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "shown\n");

  std::vector<std::string> seen;
  SeatenrolSetDebugSink(Collect, &seen);
  testing::internal::CaptureStderr();
  DebugOutput("to the sink\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  SeatenrolSetDebugSink(nullptr, nullptr);
  unsetenv("SEATENROL_DEBUG");
  EXPECT_EQ(seen, std::vector<std::string>({"to the sink\n"}));
}
#endif

}  // namespace
}  // namespace seatenrol
