#include <mutex>

#include "log/log.h"
#include "platform/os.h"
#include "seatenrol/debug_output.h"

namespace seatenrol {

namespace {

// The lock is held while the sink runs, so once a sink is replaced no
// other thread is still inside the old one and its context may go. It is
// recursive so that a sink may itself install another.
struct DebugSink {
  std::recursive_mutex lock;
  SeatenrolDebugSink sink = nullptr;
  void* context = nullptr;
};

DebugSink& Sink() {
  static DebugSink state;
  return state;
}

}  // namespace

void DebugOutput(const char* text) {
  if (text == nullptr) return;
  bool sinkInstalled = false;
  try {
    DebugSink& state = Sink();
    std::lock_guard<std::recursive_mutex> hold(state.lock);
    if (state.sink != nullptr) {
      sinkInstalled = true;
      state.sink(text, state.context);
    }
  } catch (...) {
    // Without the lock the host's sink is skipped; the system output still runs.
  }
  SystemDebugOutput(text, sinkInstalled);
}

}  // namespace seatenrol

extern "C" void SeatenrolSetDebugSink(SeatenrolDebugSink sink, void* context) {
  try {
    seatenrol::DebugSink& state = seatenrol::Sink();
    std::lock_guard<std::recursive_mutex> hold(state.lock);
    state.sink = sink;
    state.context = context;
  } catch (...) {
    // A lock that cannot be taken leaves the old sink in place.
  }
}
