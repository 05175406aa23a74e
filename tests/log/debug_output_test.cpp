#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "log/log.h"
#include "seatenrol/debug_output.h"

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

// A sink that stays inside its call until released, to hold one thread in it.
struct HeldSink {
  std::atomic<bool> entered{false};
  std::atomic<bool> release{false};
};

void Hold(const char*, void* context) {
  auto* held = static_cast<HeldSink*>(context);
  held->entered = true;
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!held->release && std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TEST(DebugOutput, RemovingTheSinkWaitsForACallStillRunningIt) {
  HeldSink held;
  SeatenrolSetDebugSink(Hold, &held);
  std::thread writer([] { DebugOutput("held\n"); });
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!held.entered && std::chrono::steady_clock::now() < limit) std::this_thread::yield();
  ASSERT_TRUE(held.entered);

  std::atomic<bool> removed{false};
  std::thread remover([&removed] {
    SeatenrolSetDebugSink(nullptr, nullptr);
    removed = true;
  });
  // While the writer is inside the sink its context must stay alive, so the
  // removal may not have returned yet.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(removed);
  held.release = true;
  writer.join();
  remover.join();
  EXPECT_TRUE(removed);
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
