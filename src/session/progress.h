// What an enrolment tells the host as it goes, through the progress sink of
// the call's limits (platform/call_limits.h).
#ifndef SEATENROL_SESSION_PROGRESS_H
#define SEATENROL_SESSION_PROGRESS_H

namespace seatenrol {

// The values are those of the C interface's SEATENROL_STAGE_*.
enum class Stage : int {
  kResolved = 1,  // detail: how many addresses the name gave
  kSent = 2,      // detail: the request's number for this address, 1 up
  kReply = 3,     // detail: the server's error number
  kStoring = 4,   // detail: 0
  kDone = 5,      // detail: the outcome
};

// Hands the stage to the current call's sink, if it has one. The sink runs
// with no limits current, so whatever it calls runs as a call of its own;
// this thread's enrolment report and recorded system error are as they were
// afterwards, whatever the sink called.
void ReportStage(Stage stage, int detail);

}  // namespace seatenrol

#endif
