#include "session/progress.h"

#include "platform/call_limits.h"
#include "platform/system_error.h"
#include "session/enrolment_report.h"

namespace seatenrol {

void ReportStage(Stage stage, int detail) {
  const CallLimits* limits = CurrentCallLimits();
  if (limits == nullptr || limits->progress == nullptr) return;
  const EnrolmentReport report = ThreadEnrolmentReport();
  const int systemError = RecordedSystemError();
  {
    const ScopedCallLimits none(nullptr);
    limits->progress(limits->progressContext, static_cast<int>(stage), detail);
  }
  ThreadEnrolmentReport() = report;
  RecordSystemError(systemError);
}

}  // namespace seatenrol
