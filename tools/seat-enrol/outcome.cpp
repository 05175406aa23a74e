#include "seat-enrol/outcome.h"

#include <cstdio>

#include "common/hex.h"

namespace seatenrol {

namespace {

constexpr char kEllipsis[] = "\xE2\x80\xA6";  // U+2026 in UTF-8
// How much of a credential an enrolment shows: enough to compare, too
// little to use.
constexpr std::size_t kCredentialPrefixBytes = 4;

}  // namespace

std::string RefusalMeaning(int errorNo) {
  switch (errorNo) {
    case -4:
      return "wrong secret";
    case -5:
      return "unknown venue";
    case -6:
      return "refused without a reason";
    default:
      return std::string();
  }
}

std::string SecondsText(int milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", milliseconds / 1000.0);
  std::string shown = text;
  while (shown.back() == '0') shown.pop_back();
  if (shown.back() == '.') shown.pop_back();
  return shown + " s";
}

std::string FolderOf(const std::string& path) {
  const std::string::size_type cut = path.find_last_of("/\\");
  if (cut == std::string::npos) return ".";
  return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

bool WorthRetrying(int outcome) {
  switch (outcome) {
    case SEATENROL_OK:
    case SEATENROL_REFUSED:
    case SEATENROL_STORE_FAILED:
    case SEATENROL_STORE_LOCKED:
    case SEATENROL_BAD_ARGUMENT:
    case SEATENROL_CANCELLED:
      return false;
    default:
      return true;
  }
}

bool WorthRetrying(const seatenrol_enrolment& result) {
  if (result.outcome == SEATENROL_TIMED_OUT && result.server_ip[0] != '\0') return false;
  return WorthRetrying(result.outcome);
}

std::string DescribeOutcome(const seatenrol_enrolment& result, const AttemptContext& context) {
  const std::string peer = context.server + ":" + std::to_string(context.port);
  switch (result.outcome) {
    case SEATENROL_OK:
      return "enrolled: " + peer + " accepted venue " + context.venueID + ", credential " +
             ToHex(result.credential, kCredentialPrefixBytes) + kEllipsis;
    case SEATENROL_REFUSED: {
      const std::string meaning = RefusalMeaning(result.error_no);
      return "refused: " + peer + " refused the enrolment with error " +
             std::to_string(result.error_no) + (meaning.empty() ? "" : " (" + meaning + ")");
    }
    case SEATENROL_STORE_FAILED:
      if (context.storeFolderMissing) {
        return "failed: " + peer +
               " accepted the enrolment, but the stored server list could not be written: its "
               "folder " +
               FolderOf(context.storePath) + " is missing (not retried)";
      }
      return "failed: " + peer +
             " accepted the enrolment, but the stored server list could not be written to " +
             context.storePath + " (not retried)";
    case SEATENROL_STORE_LOCKED:
      return "failed: " + peer + " accepted the enrolment, but the stored server list " +
             context.storePath + " stayed locked by another program (not retried)";
    case SEATENROL_NO_ANSWER:
      return "failed: no answer from " + peer + " within " + SecondsText(context.replyWaitMs) +
             (context.deadlineMs > 0
                  ? " (or the deadline of " + SecondsText(context.deadlineMs) + ")"
                  : "");
    case SEATENROL_TIMED_OUT:
      // Only the name lookup comes before an answer; the lock wait after it.
      if (result.server_ip[0] != '\0') {
        return "failed: " + peer + " accepted the enrolment, but the deadline of " +
               SecondsText(context.deadlineMs) + " passed while the stored server list " +
               context.storePath + " was locked by another program";
      }
      return "failed: the deadline of " + SecondsText(context.deadlineMs) +
             " passed while looking up " + context.server;
    case SEATENROL_CANCELLED:
      return "cancelled";
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
