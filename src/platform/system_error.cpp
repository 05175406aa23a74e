#include "platform/system_error.h"

#include "platform/os.h"

namespace seatenrol {

namespace {
// Plain int: no constructor or destructor runs per thread.
thread_local int recordedSystemError = 0;
}  // namespace

void RecordSystemError(int code) { recordedSystemError = code; }

void RecordLastSystemError() { recordedSystemError = LastErrorCode(); }

int RecordedSystemError() { return recordedSystemError; }

}  // namespace seatenrol
