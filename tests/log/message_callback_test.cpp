#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "log/log.h"
#include "log/messages.h"
#include "seatenrol/c_api.h"
#include "seatenrol/debug_output.h"
#include "wait_for.h"

namespace seatenrol {
namespace {

// One registration's view of its calls: what arrived, whether any came
// after its release, and on which thread it was released.
struct Listener {
  std::mutex lock;
  std::vector<std::string> texts;
  std::atomic<int> inside{0};
  std::atomic<int> releases{0};
  std::atomic<bool> callAfterRelease{false};
  std::atomic<bool> hold{false};  // the first call stays until this is cleared
  std::atomic<bool> held{false};
  bool throws = false;
  std::thread::id releasedOn;
};

void SEATENROL_CALL Hear(void* context, const char* utf8) {
  auto* listener = static_cast<Listener*>(context);
  if (listener->releases != 0) listener->callAfterRelease = true;
  ++listener->inside;
  {
    std::lock_guard<std::mutex> guard(listener->lock);
    listener->texts.push_back(utf8);
  }
  if (listener->hold && !listener->held.exchange(true)) {
    WaitFor([listener] { return !listener->hold; });
  }
  --listener->inside;
  if (listener->throws) throw std::runtime_error("a host's failure");
}

void SEATENROL_CALL Release(void* context) {
  auto* listener = static_cast<Listener*>(context);
  if (listener->inside != 0) listener->callAfterRelease = true;
  listener->releasedOn = std::this_thread::get_id();
  ++listener->releases;
}

TEST(MessageCallback, HearsEachMessageAsUtf8UntilCleared) {
  Listener listener;
  ASSERT_TRUE(SetMessageCallback(Hear, &listener, Release));
  DebugOutput(messages::kWriteRegisterInfoDebug);
  DebugOutput("plain\n");
  ASSERT_TRUE(SetMessageCallback(nullptr, nullptr, nullptr));
  DebugOutput("after\n");
  EXPECT_EQ(listener.texts, std::vector<std::string>({u8"写注册信息\n\n", "plain\n"}));
  // None was running: released at once, on the clearing thread.
  EXPECT_EQ(listener.releases, 1);
  EXPECT_EQ(listener.releasedOn, std::this_thread::get_id());
}

TEST(MessageCallback, ReplacingDoesNotWaitForACallRunningOnAnotherThread) {
  for (const bool clear : {false, true}) {
    Listener old;
    Listener next;
    old.hold = true;
    ASSERT_TRUE(SetMessageCallback(Hear, &old, Release));
    std::thread writer([] { DebugOutput("held\n"); });
    ASSERT_TRUE(WaitFor([&old] { return old.held.load(); }));
    // The call stays inside the old callback while the setter runs and returns.
    if (clear) {
      ASSERT_TRUE(SetMessageCallback(nullptr, nullptr, nullptr));
    } else {
      ASSERT_TRUE(SetMessageCallback(Hear, &next, Release));
    }
    DebugOutput("to the next\n");
    EXPECT_EQ(old.releases, 0);
    old.hold = false;
    writer.join();
    // Released once, by the thread whose call ended last.
    EXPECT_EQ(old.releases, 1);
    EXPECT_FALSE(old.callAfterRelease);
    ASSERT_TRUE(SetMessageCallback(nullptr, nullptr, nullptr));
    EXPECT_EQ(old.texts, std::vector<std::string>({"held\n"}));
    EXPECT_EQ(next.texts.size(), clear ? 0u : 1u);
    EXPECT_EQ(next.releases, clear ? 0 : 1);
  }
}

TEST(MessageCallback, ACallbackThatThrowsLeavesTheNextSetterWorking) {
  Listener listener;
  listener.throws = true;
  ASSERT_TRUE(SetMessageCallback(Hear, &listener, Release));
  DebugOutput("thrown through\n");
  // Its call ended, so clearing releases it at once.
  ASSERT_TRUE(SetMessageCallback(nullptr, nullptr, nullptr));
  EXPECT_EQ(listener.releases, 1);
}

void ThrowingSink(const char*, void*) { throw std::runtime_error("a host's failure"); }

// A sink that unwound leaves no call behind for a setter on another thread
// to wait for: that one returns well before the wait's 5 s limit.
TEST(MessageCallback, ASinkThatThrowsLeavesNoCallForTheSetterToWaitFor) {
  SeatenrolSetDebugSink(ThrowingSink, nullptr);
  DebugOutput("thrown through\n");
  std::chrono::steady_clock::duration took{};
  std::thread setter([&took] {
    const auto start = std::chrono::steady_clock::now();
    SeatenrolSetDebugSink(nullptr, nullptr);
    took = std::chrono::steady_clock::now() - start;
  });
  setter.join();
  EXPECT_LT(took, std::chrono::milliseconds(2500));
}

// Several threads write while the callback changes under them: every
// registration is released once, and never while a call is inside it.
TEST(MessageCallback, EveryRegistrationIsReleasedOnceAfterItsLastCall) {
  constexpr int kRegistrations = 50;
  std::vector<Listener> listeners(kRegistrations);
  std::atomic<bool> stop{false};
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w) {
    writers.emplace_back([&stop] {
      while (!stop) DebugOutput("busy\n");
    });
  }
  for (Listener& listener : listeners) {
    ASSERT_TRUE(SetMessageCallback(Hear, &listener, Release));
    WaitFor([&listener] {
      std::lock_guard<std::mutex> guard(listener.lock);
      return !listener.texts.empty();
    });
  }
  ASSERT_TRUE(SetMessageCallback(nullptr, nullptr, nullptr));
  stop = true;
  for (std::thread& writer : writers) writer.join();
  for (const Listener& listener : listeners) {
    EXPECT_EQ(listener.releases, 1);
    EXPECT_FALSE(listener.callAfterRelease);
  }
}

}  // namespace
}  // namespace seatenrol
