#include "platform/system_calls_posix.h"

namespace seatenrol {

namespace {

// Constant-initialised: in place before any constructor of the host runs.
PosixCalls calls = kSystemPosixCalls;

}  // namespace

PosixCalls& Posix() { return calls; }

}  // namespace seatenrol
