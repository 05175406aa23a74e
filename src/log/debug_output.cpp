#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "log/log.h"
#include "platform/os.h"
#include "seatenrol/debug_output.h"

namespace seatenrol {

namespace {

// One call of a sink in progress, kept on the calling thread's stack while
// the sink runs.
struct SinkCall {
  std::uint64_t generation = 0;  // of the sink being called
  std::thread::id thread;
  bool setting = false;       // the thread is inside the setter, called from this sink
  SinkCall* next = nullptr;   // in the list of all calls
  SinkCall* outer = nullptr;  // the thread's call this one runs inside, if any
};

// The lock guards only the fields; no sink runs under it, so sinks on
// several threads run at once and a sink may call back into the library.
// Instead every call is listed while it runs, and the setter waits until no
// other thread is inside a sink it replaced.
struct DebugSink {
  std::mutex lock;
  std::condition_variable callEnded;  // or a thread began setting the sink from one
  SeatenrolDebugSink sink = nullptr;
  void* context = nullptr;
  std::uint64_t generation = 0;  // counts the sinks installed
  SinkCall* calls = nullptr;
};

DebugSink& Sink() {
  static DebugSink state;
  return state;
}

// The calling thread's innermost sink call, when it is inside one.
thread_local SinkCall* innermostCall = nullptr;

// Lists a call while its sink runs, and takes it off the list however the
// sink is left.
class ListedCall {
public:
  ListedCall(DebugSink& state, SinkCall& call) : m_state(state), m_call(call) {
    m_call.next = m_state.calls;
    m_state.calls = &m_call;
    m_call.outer = innermostCall;
    innermostCall = &m_call;
  }
  ~ListedCall() {
    innermostCall = m_call.outer;
    try {
      std::lock_guard<std::mutex> hold(m_state.lock);
      for (SinkCall** link = &m_state.calls; *link != nullptr; link = &(*link)->next) {
        if (*link == &m_call) {
          *link = m_call.next;
          break;
        }
      }
    } catch (...) {
      // A lock that cannot be taken now could not be taken to list the call.
    }
    m_state.callEnded.notify_all();
  }
  ListedCall(const ListedCall&) = delete;
  ListedCall& operator=(const ListedCall&) = delete;

private:
  DebugSink& m_state;
  SinkCall& m_call;
};

// Whether another thread is still inside a sink older than generation.
// Calls whose threads are themselves in the setter from inside their sink are
// not waited for: two such threads would otherwise wait for each other.
bool OlderCallRunning(const DebugSink& state, std::uint64_t generation, std::thread::id self,
                      bool fromSink) {
  for (const SinkCall* call = state.calls; call != nullptr; call = call->next) {
    if (call->generation >= generation || call->thread == self) continue;
    if (fromSink && call->setting) continue;
    return true;
  }
  return false;
}

// Marks the calling thread's own sink calls as setting the sink, for as
// long as the setter waits.
void MarkOwnCalls(bool setting) {
  for (SinkCall* call = innermostCall; call != nullptr; call = call->outer) call->setting = setting;
}

}  // namespace

void DebugOutput(const char* text) {
  if (text == nullptr) return;
  bool sinkInstalled = false;
  try {
    DebugSink& state = Sink();
    SinkCall call;
    call.thread = std::this_thread::get_id();
    std::unique_lock<std::mutex> hold(state.lock);
    const SeatenrolDebugSink sink = state.sink;
    void* const context = state.context;
    if (sink != nullptr) {
      sinkInstalled = true;
      call.generation = state.generation;
      ListedCall listed(state, call);
      hold.unlock();
      sink(text, context);
    }
  } catch (...) {
    // A lock that cannot be taken skips the host's sink, and nothing the sink
    // throws goes further; the system output still runs.
  }
  SystemDebugOutput(text, sinkInstalled);
}

}  // namespace seatenrol

extern "C" void SeatenrolSetDebugSink(SeatenrolDebugSink sink, void* context) {
  try {
    seatenrol::DebugSink& state = seatenrol::Sink();
    std::unique_lock<std::mutex> hold(state.lock);
    state.sink = sink;
    state.context = context;
    const std::uint64_t generation = ++state.generation;
    const bool fromSink = seatenrol::innermostCall != nullptr;
    seatenrol::MarkOwnCalls(true);
    // Other setters inside a sink no longer wait for this thread's calls.
    state.callEnded.notify_all();
    const std::thread::id self = std::this_thread::get_id();
    state.callEnded.wait(
        hold, [&] { return !seatenrol::OlderCallRunning(state, generation, self, fromSink); });
    seatenrol::MarkOwnCalls(false);
  } catch (...) {
    // A lock that cannot be taken leaves the old sink in place.
  }
}
