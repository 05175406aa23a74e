#include "seat-enrol/outcome.h"

#include "common/hex.h"

namespace seatenrol {

namespace {

constexpr char kEllipsis[] = "\xE2\x80\xA6";  // U+2026 in UTF-8
// How much of a credential an enrolment shows: enough to compare, too
// little to use.
constexpr std::size_t kCredentialPrefixBytes = 4;

}  // namespace

bool WorthRetrying(int outcome) {
  switch (outcome) {
    case SEATENROL_OK:
    case SEATENROL_REFUSED:
    case SEATENROL_STORE_FAILED:
    case SEATENROL_STORE_LOCKED:
    case SEATENROL_BAD_ARGUMENT:
      return false;
    default:
      return true;
  }
}

std::string DescribeOutcome(const seatenrol_enrolment& result, const AttemptContext& context) {
  const std::string peer = context.server + ":" + std::to_string(context.port);
  switch (result.outcome) {
    case SEATENROL_OK:
      return "enrolled: " + peer + " accepted venue " + context.venueID + ", credential " +
             ToHex(result.credential, kCredentialPrefixBytes) + kEllipsis;
    case SEATENROL_REFUSED:
      return "refused: " + peer + " refused the enrolment with error " +
             std::to_string(result.error_no);
    case SEATENROL_STORE_FAILED:
      return "failed: " + peer +
             " accepted the enrolment, but the stored server list could not be written to " +
             context.storePath + " (not retried)";
    case SEATENROL_STORE_LOCKED:
      return "failed: " + peer + " accepted the enrolment, but the stored server list " +
             context.storePath + " stayed locked by another program (not retried)";
    case SEATENROL_NO_ANSWER:
      return "failed: no answer from " + peer + " within 5 s";
    case SEATENROL_PORT_UNREACHABLE:
      return "failed: " + peer + " refused the datagram (nothing listens on that port)";
    case SEATENROL_UNUSABLE_REPLY:
      return "failed: the reply from " + peer + " could not be used";
    case SEATENROL_NOT_SENT:
      return "failed: the request could not be sent to " + peer;
    case SEATENROL_UNRESOLVED:
      return "failed: the name " + context.server + " did not resolve";
    case SEATENROL_NO_IDENTITY:
      return "failed: this seat's address, MAC or host name was not found (see seat-enrol "
             "identity --explain)";
    default:
      return "failed: " + peer + ": " + seatenrol_outcome_text(result.outcome);
  }
}

}  // namespace seatenrol
