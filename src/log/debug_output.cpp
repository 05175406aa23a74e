#include <mutex>

#include "log/log.h"
#include "platform/os.h"
#include "seatenrol/debug_output.h"

namespace seatenrol {

namespace {

struct DebugSink {
  std::mutex lock;
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
  SeatenrolDebugSink sink = nullptr;
  void* context = nullptr;
  try {
    DebugSink& state = Sink();
    std::lock_guard<std::mutex> hold(state.lock);
    sink = state.sink;
    context = state.context;
  } catch (...) {
    // Without the lock the host's sink is skipped; the system output still runs.
  }
  // The sink runs outside the lock, so it may itself install another.
  if (sink != nullptr) sink(text, context);
  SystemDebugOutput(text, sink != nullptr);
}

}  // namespace seatenrol

extern "C" void SeatenrolSetDebugSink(SeatenrolDebugSink sink, void* context) {
  try {
    seatenrol::DebugSink& state = seatenrol::Sink();
    std::lock_guard<std::mutex> hold(state.lock);
    state.sink = sink;
    state.context = context;
  } catch (...) {
    // A lock that cannot be taken leaves the old sink in place.
  }
}
