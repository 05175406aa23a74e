#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "log/log.h"
#include "platform/gbk_text.h"
#include "platform/os.h"
#include "seatenrol/debug_output.h"

namespace seatenrol {

namespace {

// The host's message callback. Installing it holds one reference and each
// message on its way to it holds one more; whoever drops the last runs
// release, so a replaced callback is let go exactly once, after its last
// call, and no setter waits for it.
struct MessageCallback {
  seatenrol_message_fn fn;
  void* context;
  seatenrol_release_fn release;
  std::size_t references;
};

// One call of the C++ sink in progress. Kept in the shared state, not on
// the calling thread's stack, so a sink left by a jump or a foreign
// exception leaves only a record that a setter stops waiting for.
struct SinkCall {
  std::uint64_t id = 0;  // 0: the slot is free
  std::uint64_t generation = 0;
  std::thread::id thread;
  bool setting = false;  // the thread is inside the setter, called from a sink
};

// Sink calls at once, on all threads, nested ones included; a message beyond
// them skips the sink.
constexpr std::size_t kMaxSinkCalls = 64;

// How long the setter waits for a sink running on another thread. A call
// still running then is taken for one that left without returning and is
// forgotten, so no later setter waits for it.
constexpr auto kSinkWaitLimit = std::chrono::seconds(5);

// The lock guards only the fields; no host code runs under it, so sinks on
// several threads run at once and may call back into the library.
struct DebugState {
  std::mutex lock;
  std::condition_variable callEnded;  // or a thread began setting the sink from one
  SeatenrolDebugSink sink = nullptr;
  void* context = nullptr;
  std::uint64_t generation = 0;  // counts the sinks installed
  std::uint64_t lastCall = 0;
  SinkCall calls[kMaxSinkCalls];
  MessageCallback* callback = nullptr;
};

DebugState& State() {
  static DebugState state;
  return state;
}

// Lists a call of the current sink under the lock; null when every slot is taken.
SinkCall* ListCall(DebugState& state) {
  for (SinkCall& call : state.calls) {
    if (call.id != 0) continue;
    call.id = ++state.lastCall;
    call.generation = state.generation;
    call.thread = std::this_thread::get_id();
    call.setting = false;
    return &call;
  }
  return nullptr;
}

void EndCall(DebugState& state, std::uint64_t id) noexcept {
  try {
    std::lock_guard<std::mutex> hold(state.lock);
    // A setter may have forgotten it already; another call may have its slot.
    for (SinkCall& call : state.calls) {
      if (call.id == id) call = SinkCall();
    }
  } catch (...) {
    // A lock that cannot be taken now could not be taken to list the call.
  }
  state.callEnded.notify_all();
}

void CallSink(DebugState& state, const char* text, bool& hostListens) noexcept {
  std::uint64_t id = 0;
  SeatenrolDebugSink sink = nullptr;
  void* context = nullptr;
  try {
    std::lock_guard<std::mutex> hold(state.lock);
    if (state.sink == nullptr) return;
    hostListens = true;
    SinkCall* call = ListCall(state);
    if (call == nullptr) return;
    id = call->id;
    sink = state.sink;
    context = state.context;
  } catch (...) {
    // A lock that cannot be taken skips the host's sink.
    return;
  }
  try {
    sink(text, context);
  } catch (...) {
    // Nothing the sink throws goes further.
  }
  EndCall(state, id);
}

// Drops one reference; the last one lets the callback go.
void DropCallback(DebugState& state, MessageCallback* callback) noexcept {
  if (callback == nullptr) return;
  bool last = false;
  try {
    std::lock_guard<std::mutex> hold(state.lock);
    last = --callback->references == 0;
  } catch (...) {
    // A lock that cannot be taken keeps the callback: leaked, never freed early.
    return;
  }
  if (!last) return;
  if (callback->release != nullptr) {
    try {
      callback->release(callback->context);
    } catch (...) {
      // Nothing the host's release throws goes further.
    }
  }
  delete callback;
}

// Debugger messages are at most this long; a longer one is converted on the
// heap when there is room for it, else cut.
constexpr std::size_t kUsualMessageSize = 1024;

void CallMessageCallback(DebugState& state, const char* text, bool& hostListens) noexcept {
  MessageCallback* callback = nullptr;
  try {
    std::lock_guard<std::mutex> hold(state.lock);
    callback = state.callback;
    if (callback == nullptr) return;
    ++callback->references;
  } catch (...) {
    return;
  }
  hostListens = true;
  char usual[kUsualMessageSize * kUtf8PerGbkByte + 1];
  const std::size_t length = std::strlen(text);
  const std::size_t needed = length * kUtf8PerGbkByte + 1;
  char* utf8 = usual;
  std::size_t capacity = sizeof usual;
  if (needed > capacity) {
    char* larger = new (std::nothrow) char[needed];
    if (larger != nullptr) {
      utf8 = larger;
      capacity = needed;
    }
  }
  GbkToUtf8(text, length, utf8, capacity);
  try {
    callback->fn(callback->context, utf8);
  } catch (...) {
    // Nothing the callback throws goes further.
  }
  if (utf8 != usual) delete[] utf8;
  DropCallback(state, callback);
}

// Whether another thread is still inside a sink older than generation.
// Calls whose threads are themselves in the setter from inside their sink are
// not waited for: two such threads would otherwise wait for each other.
bool OlderCall(const SinkCall& call, std::uint64_t generation, std::thread::id self,
               bool fromSink) {
  if (call.id == 0 || call.generation >= generation || call.thread == self) return false;
  return !(fromSink && call.setting);
}

// Marks the calling thread's own sink calls as setting the sink, for as long
// as the setter waits; whether it has any, that is whether it sets from a sink.
bool MarkOwnCalls(DebugState& state, std::thread::id self, bool setting) {
  bool any = false;
  for (SinkCall& call : state.calls) {
    if (call.id == 0 || call.thread != self) continue;
    call.setting = setting;
    any = true;
  }
  return any;
}

}  // namespace

void DebugOutput(const char* text) {
  if (text == nullptr) return;
  DebugState& state = State();
  bool hostListens = false;
  CallSink(state, text, hostListens);
  CallMessageCallback(state, text, hostListens);
  SystemDebugOutput(text, hostListens);
}

bool SetMessageCallback(seatenrol_message_fn fn, void* context, seatenrol_release_fn release) {
  MessageCallback* installed = nullptr;
  if (fn != nullptr) {
    installed = new (std::nothrow) MessageCallback{fn, context, release, 1};
    if (installed == nullptr) return false;
  }
  DebugState& state = State();
  MessageCallback* replaced = nullptr;
  try {
    std::lock_guard<std::mutex> hold(state.lock);
    replaced = state.callback;
    state.callback = installed;
  } catch (...) {
    // A lock that cannot be taken leaves the old callback in place.
    delete installed;
    return false;
  }
  DropCallback(state, replaced);
  return true;
}

}  // namespace seatenrol

extern "C" void SeatenrolSetDebugSink(SeatenrolDebugSink sink, void* context) {
  try {
    seatenrol::DebugState& state = seatenrol::State();
    std::unique_lock<std::mutex> hold(state.lock);
    state.sink = sink;
    state.context = context;
    const std::uint64_t generation = ++state.generation;
    const std::thread::id self = std::this_thread::get_id();
    const bool fromSink = seatenrol::MarkOwnCalls(state, self, true);
    // Other setters inside a sink no longer wait for this thread's calls.
    state.callEnded.notify_all();
    const auto older = [&](const seatenrol::SinkCall& call) {
      return seatenrol::OlderCall(call, generation, self, fromSink);
    };
    const bool ended = state.callEnded.wait_for(hold, seatenrol::kSinkWaitLimit, [&] {
      for (const seatenrol::SinkCall& call : state.calls) {
        if (older(call)) return false;
      }
      return true;
    });
    if (!ended) {
      for (seatenrol::SinkCall& call : state.calls) {
        if (older(call)) call = seatenrol::SinkCall();
      }
    }
    seatenrol::MarkOwnCalls(state, self, false);
  } catch (...) {
    // A lock that cannot be taken leaves the old sink in place.
  }
}
