// What one enrolment attempt came to, told from the library's result and
// the debugger messages it sent during the attempt.
#ifndef SEATENROL_TOOLS_SEAT_ENROL_OUTCOME_H
#define SEATENROL_TOOLS_SEAT_ENROL_OUTCOME_H

#include <functional>
#include <string>
#include <vector>

namespace seatenrol {

enum class AttemptResult {
  kEnrolled,
  kRefused,        // the server refused the venue or its secret
  kNotStored,      // accepted, but the stored server list could not be written
  kStoreLocked,    // accepted, but the store stayed locked by another program
  kNoAnswer,       // nothing came back within the wait
  kPortRefused,    // the server's host refused the datagram: nothing listens there
  kUnusableReply,  // something came back that is no registration answer
  kNotSent,        // the request could not be sent
  kUnresolved,     // the server's name did not resolve
  kNoIdentity,     // this seat's own address, MAC or host name was not found
};

struct AttemptOutcome {
  AttemptResult result = AttemptResult::kUnusableReply;
  long long errorNo = 0;  // with kRefused
};

// What the tool may ask about a failure the messages leave open; each is
// asked only when needed, in this order.
struct FailureChecks {
  std::function<bool()> seatIdentityFound;
  std::function<bool()> serverNameResolves;
};

// The outcome of an attempt whose RegisterServer returned enrolled, having
// sent the debugger texts (GBK, as sent).
AttemptOutcome ClassifyAttempt(bool enrolled, const std::vector<std::string>& debugTexts,
                               const FailureChecks& checks);

// Whether another attempt could end otherwise. A refusal is the same with
// the same venue and secret, and after a store failure the server already
// holds the enrolment.
bool WorthRetrying(AttemptResult result);

// Where the attempt went and what the tool knows besides.
struct AttemptContext {
  std::string server;
  int port = 0;
  std::string venueID;
  std::string credentialPrefix;  // hex, with kEnrolled; may be empty
  std::string storePath;         // with kNotStored and kStoreLocked
};

// The one line that reports the attempt, without its line end.
std::string DescribeOutcome(const AttemptOutcome& outcome, const AttemptContext& context);

}  // namespace seatenrol

#endif
