#include "session/enrolment_report.h"

#include <cstring>

namespace seatenrol {

EnrolmentReport& ThreadEnrolmentReport() {
  // Plain bytes: no constructor or destructor runs per thread.
  thread_local EnrolmentReport report{};
  return report;
}

void BeginEnrolmentReport(Outcome outcome) {
  EnrolmentReport& report = ThreadEnrolmentReport();
  std::memset(&report, 0, sizeof report);
  report.outcome = outcome;
}

void SetEnrolmentOutcome(Outcome outcome) { ThreadEnrolmentReport().outcome = outcome; }

}  // namespace seatenrol
