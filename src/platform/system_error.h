// The system's own reason for the step that ended a call: errno on POSIX,
// GetLastError or WSAGetLastError on Windows. A step that fails in a system
// call records the code here, on the calling thread, at the point it fails,
// before anything else can overwrite the system's own value; the C interface
// hands it to the caller beside the outcome.
#ifndef SEATENROL_PLATFORM_SYSTEM_ERROR_H
#define SEATENROL_PLATFORM_SYSTEM_ERROR_H

namespace seatenrol {

// Records code (0 clears) as this thread's reason.
void RecordSystemError(int code);

// Records the calling thread's last system error code (LastErrorCode()).
void RecordLastSystemError();

// This thread's recorded reason; 0 when none.
int RecordedSystemError();

}  // namespace seatenrol

#endif
