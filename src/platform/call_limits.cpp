#include "platform/call_limits.h"

namespace seatenrol {

namespace {
// A plain pointer: no constructor or destructor runs per thread.
thread_local const CallLimits* currentLimits = nullptr;
}  // namespace

const CallLimits* CurrentCallLimits() { return currentLimits; }

LimitHit CurrentLimitHit() {
  const CallLimits* limits = currentLimits;
  if (limits == nullptr) return LimitHit::kNone;
  if (limits->cancel != nullptr && limits->cancel->load(std::memory_order_acquire)) {
    return LimitHit::kCancelled;
  }
  if (limits->hasDeadline && SteadyClock::now() >= limits->deadline) return LimitHit::kDeadline;
  return LimitHit::kNone;
}

SteadyClock::time_point LimitedEnd(SteadyClock::time_point wanted) {
  const CallLimits* limits = currentLimits;
  if (limits == nullptr || !limits->hasDeadline || wanted <= limits->deadline) return wanted;
  return limits->deadline;
}

bool CurrentCallCancellable() {
  return currentLimits != nullptr && currentLimits->cancel != nullptr;
}

ScopedCallLimits::ScopedCallLimits(const CallLimits* limits) : previous_(currentLimits) {
  currentLimits = limits;
}

ScopedCallLimits::~ScopedCallLimits() { currentLimits = previous_; }

}  // namespace seatenrol
