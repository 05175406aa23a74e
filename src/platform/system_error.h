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

// Keeps this thread's recorded reason across a scope whose own system calls
// are no step of the call under way (a log line, say).
class SystemErrorKept {
public:
  SystemErrorKept() : m_code(RecordedSystemError()) {}
  ~SystemErrorKept() { RecordSystemError(m_code); }
  SystemErrorKept(const SystemErrorKept&) = delete;
  SystemErrorKept& operator=(const SystemErrorKept&) = delete;

private:
  int m_code;
};

}  // namespace seatenrol

#endif
