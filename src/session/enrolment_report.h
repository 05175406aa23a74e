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
  unsigned char credential[32];  // what an accepting answer granted, else zeros
};

// This thread's report of its last Register or RegisterServer call.
EnrolmentReport& ThreadEnrolmentReport();

// Starts a new report: every field cleared, outcome as given.
void BeginEnrolmentReport(Outcome outcome);

// Sets the outcome of the report under way.
void SetEnrolmentOutcome(Outcome outcome);

}  // namespace seatenrol

#endif
