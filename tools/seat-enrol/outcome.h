// The line that reports one enrolment attempt, from the result the library
// gave for it (seatenrol_enrol).
#ifndef SEATENROL_TOOLS_SEAT_ENROL_OUTCOME_H
#define SEATENROL_TOOLS_SEAT_ENROL_OUTCOME_H

#include <string>

#include "seatenrol/c_api.h"

namespace seatenrol {

// Whether another attempt could end otherwise. A refusal is the same with
// the same venue and secret, after a store failure the server already holds
// the enrolment, and a refused argument stays refused.
bool WorthRetrying(int outcome);
// The same for a whole result: a deadline that passed in the lock wait came
// after the server had accepted, as a store failure does.
bool WorthRetrying(const seatenrol_enrolment& result);

// Where the attempt went and what the tool knows besides.
struct AttemptContext {
  std::string server;
  int port = 0;
  std::string venueID;
  std::string storePath;  // named when the list could not be stored
  bool storeFolderMissing = false;
  int replyWaitMs = 5000;
  int deadlineMs = 0;  // 0: none
};

// What a refusal's error number means, as the server's protocol defines it;
// empty for any other number.
std::string RefusalMeaning(int errorNo);

// milliseconds as seconds for a person: "5 s", "1.5 s", "0.25 s".
std::string SecondsText(int milliseconds);

// The folder part of path, up to its last separator ("/" or "\\"); "." when
// it has none.
std::string FolderOf(const std::string& path);

// The one line that reports the attempt, without its line end.
std::string DescribeOutcome(const seatenrol_enrolment& result, const AttemptContext& context);

}  // namespace seatenrol

#endif
