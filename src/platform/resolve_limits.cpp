// The server's name looked up under the host's limits: on a thread of its
// own when the call may be cancelled or has a deadline, since no system's
// resolver can be interrupted.
#include <atomic>
#include <new>
#include <string>
#include <thread>

#include "platform/call_limits.h"
#include "platform/ipv4_text.h"
#include "platform/resolve.h"

namespace seatenrol {

namespace {

// How often the call looks at its lookup thread, its cancel flag and its
// deadline.
constexpr int kLookupPollMs = 10;

std::atomic<NameLookup> lookupForTesting{nullptr};

bool LookUp(const char* name, std::vector<std::uint32_t>& addresses) {
  const NameLookup standIn = lookupForTesting.load();
  if (standIn == nullptr) return ResolveIPv4(name, addresses);
  return standIn(name, addresses) && !addresses.empty();
}

// What the call and its lookup thread share. On the heap, held by both and
// freed by whichever lets go last, so a thread the call gave up on never
// touches the caller's stack.
struct LookupJob {
  std::string name;
  std::vector<std::uint32_t> addresses;  // the thread's until done is set
  bool resolved = false;
  std::atomic<bool> done{false};
  std::atomic<int> holders{2};
};

void LetGo(LookupJob* job) {
  if (job->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete job;
}

void RunLookup(void* argument) {
  LookupJob* job = static_cast<LookupJob*>(argument);
  try {
    job->resolved = LookUp(job->name.c_str(), job->addresses);
  } catch (...) {
    job->resolved = false;  // out of memory
  }
  job->done.store(true, std::memory_order_release);
  LetGo(job);
}

LookupResult Stopped(LimitHit hit) {
  return hit == LimitHit::kCancelled ? LookupResult::kCancelled : LookupResult::kTimedOut;
}

LookupResult Direct(const char* name, std::vector<std::uint32_t>& addresses) {
  return LookUp(name, addresses) ? LookupResult::kResolved : LookupResult::kUnresolved;
}

}  // namespace

void SetNameLookupForTesting(NameLookup lookup) { lookupForTesting.store(lookup); }

LookupResult ResolveWithinLimits(const char* name, std::vector<std::uint32_t>& addresses) {
  addresses.clear();
  const LimitHit before = CurrentLimitHit();
  if (before != LimitHit::kNone) return Stopped(before);
  const CallLimits* limits = CurrentCallLimits();
  std::uint32_t dotted = 0;
  if (limits == nullptr || (!limits->hasDeadline && limits->cancel == nullptr) || name == nullptr ||
      ParseDottedIPv4(name, &dotted)) {
    return Direct(name, addresses);
  }

  LookupJob* job = new (std::nothrow) LookupJob;
  if (job == nullptr) return LookupResult::kUnresolved;
  try {
    job->name = name;
  } catch (...) {
    delete job;
    return LookupResult::kUnresolved;
  }
  if (!RunDetached(RunLookup, job)) {
    // Without a thread the lookup runs here, as it would without limits.
    delete job;
    return Direct(name, addresses);
  }
  for (;;) {
    if (job->done.load(std::memory_order_acquire)) {
      const bool resolved = job->resolved;
      if (resolved) addresses.swap(job->addresses);
      LetGo(job);
      return resolved ? LookupResult::kResolved : LookupResult::kUnresolved;
    }
    const LimitHit hit = CurrentLimitHit();
    if (hit != LimitHit::kNone) {
      LetGo(job);  // the thread frees the job when its lookup ends
      return Stopped(hit);
    }
    const SteadyClock::time_point sliceEnd =
        LimitedEnd(SteadyClock::now() + std::chrono::milliseconds(kLookupPollMs));
    std::this_thread::sleep_until(sliceEnd);
  }
}

}  // namespace seatenrol
