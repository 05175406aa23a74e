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

// Where the attempt went and what the tool knows besides.
struct AttemptContext {
  std::string server;
  int port = 0;
  std::string venueID;
  std::string storePath;  // named when the list could not be stored
};

// The one line that reports the attempt, without its line end.
std::string DescribeOutcome(const seatenrol_enrolment& result, const AttemptContext& context);

}  // namespace seatenrol

#endif
