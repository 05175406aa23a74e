// The host's limits on the call under way on this thread: a deadline, a
// cancel flag another thread may raise, the reply wait and the number of
// requests per address, and where progress goes. The C interface makes them
// current for one call; the waits below it (the name lookup, the reply, the
// list's lock) consult them. Without limits every wait runs as it always has.
#ifndef SEATENROL_PLATFORM_CALL_LIMITS_H
#define SEATENROL_PLATFORM_CALL_LIMITS_H

#include <atomic>
#include <chrono>

namespace seatenrol {

using SteadyClock = std::chrono::steady_clock;

// Called on the calling thread with a stage and its detail.
using ProgressSink = void (*)(void* context, int stage, int detail);

struct CallLimits {
  bool hasDeadline = false;
  SteadyClock::time_point deadline{};
  const std::atomic<bool>* cancel = nullptr;  // null: the call cannot be cancelled
  int replyWaitMs = 5000;                     // per address
  int sends = 1;                              // requests per address within that wait
  ProgressSink progress = nullptr;
  void* progressContext = nullptr;
};

// What stops a wait before its own end.
enum class LimitHit { kNone, kCancelled, kDeadline };

// The longest a limited wait sleeps between two looks at the cancel flag.
constexpr int kCancelCheckMs = 20;

// The limits current on this thread; null outside a limited call.
const CallLimits* CurrentCallLimits();

// Whether the current call was cancelled (first) or its deadline has passed.
LimitHit CurrentLimitHit();

// The end of a wait that would end at wanted: the current deadline when it
// comes first.
SteadyClock::time_point LimitedEnd(SteadyClock::time_point wanted);

// Whether a wait of the current call must look at the cancel flag as it goes.
bool CurrentCallCancellable();

// Makes limits (null: none) current on this thread for the scope's lifetime,
// then restores what was current before, so a call made from inside a
// progress callback runs under its own limits.
class ScopedCallLimits {
public:
  explicit ScopedCallLimits(const CallLimits* limits);
  ~ScopedCallLimits();
  ScopedCallLimits(const ScopedCallLimits&) = delete;
  ScopedCallLimits& operator=(const ScopedCallLimits&) = delete;

private:
  const CallLimits* previous_;
};

}  // namespace seatenrol

#endif
