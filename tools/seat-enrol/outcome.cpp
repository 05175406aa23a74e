#include "seat-enrol/outcome.h"

#include <climits>

#include "common/cli_args.h"
#include "common/hex.h"
#include "log/messages.h"

namespace seatenrol {

namespace {

// The debugger message with which the library reports a refusal; the error
// number follows its last colon.
constexpr char kRefusalMarker[] = "CLoginThread::Register()";
constexpr char kEllipsis[] = "\xE2\x80\xA6";  // U+2026 in UTF-8

bool Sent(const std::vector<std::string>& texts, const char* message) {
  for (const std::string& text : texts) {
    if (text == message) return true;
  }
  return false;
}

bool FindRefusal(const std::vector<std::string>& texts, long long& errorNo) {
  for (const std::string& text : texts) {
    if (text.find(kRefusalMarker) == std::string::npos) continue;
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) continue;
    if (ParseInteger(Trimmed(text.substr(colon + 1)), INT_MIN, INT_MAX, errorNo)) return true;
  }
  return false;
}

AttemptOutcome Outcome(AttemptResult result, long long errorNo = 0) {
  AttemptOutcome outcome;
  outcome.result = result;
  outcome.errorNo = errorNo;
  return outcome;
}

}  // namespace

AttemptOutcome ClassifyAttempt(bool enrolled, const std::vector<std::string>& debugTexts,
                               const FailureChecks& checks) {
  if (enrolled) return Outcome(AttemptResult::kEnrolled);
  long long errorNo = 0;
  if (FindRefusal(debugTexts, errorNo)) return Outcome(AttemptResult::kRefused, errorNo);
  if (Sent(debugTexts, messages::kServerListNotStored)) return Outcome(AttemptResult::kNotStored);
  if (Sent(debugTexts, messages::kServerListLocked)) return Outcome(AttemptResult::kStoreLocked);
  if (Sent(debugTexts, messages::kRecvTimeout)) return Outcome(AttemptResult::kNoAnswer);
  // On a connected datagram socket the only receive error that comes back
  // from a live peer is its host's "port unreachable".
  if (Sent(debugTexts, messages::kRecvError)) return Outcome(AttemptResult::kPortRefused);
  if (Sent(debugTexts, messages::kRecvPacketError)) return Outcome(AttemptResult::kUnusableReply);
  if (Sent(debugTexts, messages::kSendCommandError)) return Outcome(AttemptResult::kNotSent);
  // Silent failures: the request was never built (no identity), the name
  // never resolved, or every reply failed to parse. The library's own
  // discovery and resolver tell the first two apart from the last.
  if (checks.seatIdentityFound && !checks.seatIdentityFound()) {
    return Outcome(AttemptResult::kNoIdentity);
  }
  if (checks.serverNameResolves && !checks.serverNameResolves()) {
    return Outcome(AttemptResult::kUnresolved);
  }
  return Outcome(AttemptResult::kUnusableReply);
}

bool WorthRetrying(AttemptResult result) {
  switch (result) {
    case AttemptResult::kEnrolled:
    case AttemptResult::kRefused:
    case AttemptResult::kNotStored:
    case AttemptResult::kStoreLocked:
      return false;
    default:
      return true;
  }
}

std::string DescribeOutcome(const AttemptOutcome& outcome, const AttemptContext& context) {
  const std::string peer = context.server + ":" + std::to_string(context.port);
  switch (outcome.result) {
    case AttemptResult::kEnrolled: {
      std::string line = "enrolled: " + peer + " accepted venue " + context.venueID;
      if (!context.credentialPrefix.empty()) {
        line += ", credential " + context.credentialPrefix + kEllipsis;
      }
      return line;
    }
    case AttemptResult::kRefused:
      return "refused: " + peer + " refused the enrolment with error " +
             std::to_string(outcome.errorNo);
    case AttemptResult::kNotStored:
      return "failed: " + peer +
             " accepted the enrolment, but the stored server list could not be written to " +
             context.storePath + " (not retried)";
    case AttemptResult::kStoreLocked:
      return "failed: " + peer + " accepted the enrolment, but the stored server list " +
             context.storePath + " stayed locked by another program (not retried)";
    case AttemptResult::kNoAnswer:
      return "failed: no answer from " + peer + " within 5 s";
    case AttemptResult::kPortRefused:
      return "failed: " + peer + " refused the datagram (nothing listens on that port)";
    case AttemptResult::kUnusableReply:
      return "failed: the reply from " + peer + " could not be used";
    case AttemptResult::kNotSent:
      return "failed: the request could not be sent to " + peer;
    case AttemptResult::kUnresolved:
      return "failed: the name " + context.server + " did not resolve";
    case AttemptResult::kNoIdentity:
      return "failed: this seat's address, MAC or host name was not found (see seat-enrol "
             "identity --explain)";
  }
  return "failed: " + peer;
}

}  // namespace seatenrol
