// Why the calling thread's last enrolment ended, kept per thread the way
// GetLastError is, so a host that got false from RegisterServer or 0 from
// Register can ask for the reason without any change to the session's layout.
#ifndef SEATENROL_SESSION_ENROLMENT_REPORT_H
#define SEATENROL_SESSION_ENROLMENT_REPORT_H

namespace seatenrol {

// The values are those of the C interface's SEATENROL_* results.
enum class Outcome : int {
  kOk = 0,
  kRefused = 1,
  kNoAnswer = 2,
  kPortUnreachable = 3,
  kUnresolved = 4,
  kUnusableReply = 5,
  kNotSent = 6,
  kNoIdentity = 7,
  kStoreFailed = 8,
  kStoreLocked = 9,
  kBadArgument = 10,
  kNoMemory = 11,
  kNetworkNotStarted = 12,
  kNotFound = 13,
  kCancelled = 14,  // the host cancelled the call
  kTimedOut = 15,   // the host's deadline passed outside a reply wait
};

struct EnrolmentReport {
  Outcome outcome;
  int errorNo;                   // the server's error number when it answered, else 0
  char serverIP[16];             // dotted address whose reply was parsed, else ""
  unsigned char credential[32];  // what an accepting answer granted, while a
                                 // CredentialHandOver asks for it; else zeros
  int systemError;               // the system's code for the step that ended the call, else 0
};

// This thread's report of its last Register or RegisterServer call.
EnrolmentReport& ThreadEnrolmentReport();

// Starts a new report: every field cleared, outcome as given, and the
// thread's recorded system error cleared for the steps to come.
void BeginEnrolmentReport(Outcome outcome);

// Sets the outcome of the report under way, with the system error the step
// that ended it recorded (none for a success).
void SetEnrolmentOutcome(Outcome outcome);

// Clears the thread's recorded system error before a step whose failure may
// end the call, so that the report never names a failure another step
// recovered from.
void BeginEnrolmentStep();

// While one lives, RegisterServer keeps the granted credential in this
// thread's report for the C interface to copy out; the C interface then
// wipes it. Without one no copy is kept: a C++ host has no way to read it.
class CredentialHandOver {
public:
  CredentialHandOver();
  ~CredentialHandOver();
  CredentialHandOver(const CredentialHandOver&) = delete;
  CredentialHandOver& operator=(const CredentialHandOver&) = delete;
};

// Whether a CredentialHandOver lives on this thread.
bool CredentialWanted();

}  // namespace seatenrol

#endif
