#include "session/enrolment_report.h"

#include <cstring>

#include "platform/system_error.h"
#include "platform/wipe.h"

namespace seatenrol {

namespace {
thread_local bool credentialWanted = false;
}  // namespace

EnrolmentReport& ThreadEnrolmentReport() {
  // Plain bytes: no constructor or destructor runs per thread.
  thread_local EnrolmentReport report{};
  return report;
}

void BeginEnrolmentReport(Outcome outcome) {
  EnrolmentReport& report = ThreadEnrolmentReport();
  WipeBytes(&report, sizeof report);
  report.outcome = outcome;
  RecordSystemError(0);
}

void SetEnrolmentOutcome(Outcome outcome) {
  EnrolmentReport& report = ThreadEnrolmentReport();
  report.outcome = outcome;
  report.systemError = outcome == Outcome::kOk ? 0 : RecordedSystemError();
}

void BeginEnrolmentStep() { RecordSystemError(0); }

CredentialHandOver::CredentialHandOver() { credentialWanted = true; }

CredentialHandOver::~CredentialHandOver() {
  credentialWanted = false;
  EnrolmentReport& report = ThreadEnrolmentReport();
  WipeBytes(report.credential, sizeof report.credential);
}

bool CredentialWanted() { return credentialWanted; }

}  // namespace seatenrol
