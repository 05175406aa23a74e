// Server enrolment: one exchange, the verdict on the server's answer, and on
// acceptance the server recorded in the stored server list.
#include <cstdio>
#include <cstring>

#include "log/log.h"
#include "log/messages.h"
#include "platform/call_limits.h"
#include "platform/wipe.h"
#include "seatenrol/session.h"
#include "session/enrolment_report.h"
#include "session/progress.h"
#include "session/server_list.h"
#include "session/session_limits.h"

namespace {

// Error numbers with which the server refuses a seat; every other number,
// negative ones included, accepts it.
bool IsRefusal(int errorNo) { return errorNo == -4 || errorNo == -5 || errorNo == -6; }

// The error info should hold the venue ID and the password (20 + 32 bytes).
constexpr int kExpectedErrorInfoLength = 52;

}  // namespace

bool CRegisterSession::RegisterServer(unsigned char* venueID, unsigned char* secret,
                                      unsigned char* serverName, int port) {
  using seatenrol::Outcome;
  using seatenrol::SetEnrolmentOutcome;
  if (venueID == nullptr || secret == nullptr || serverName == nullptr) {
    seatenrol::BeginEnrolmentReport(Outcome::kBadArgument);
    return false;
  }
  try {
    RegError result;

    // The tag is the venue ID's text, which may fill its 20 bytes unterminated.
    char tag[seatenrol::kVenueIDSize + 1] = {};
    std::memcpy(tag, venueID, seatenrol::VenueIDLength(venueID));
    seatenrol::SetLogTag(tag);

    if (!Init()) {
      seatenrol::BeginEnrolmentReport(Outcome::kNoMemory);
      return false;
    }
    // The answer's error info, the credential among it, goes with this frame.
    const seatenrol::ScopedWipe wipeResult(&result, sizeof result);
    const int exchanged = Register(result, venueID, secret, serverName, port);
    seatenrol::WipeStackBelow();  // the exchange's frames held the secret
    if (!exchanged) {
      seatenrol::DebugOutput(seatenrol::messages::kRegisterFailedDebug);
      seatenrol::WriteLog(seatenrol::messages::kRegisterFailedLog);
      return false;
    }

    seatenrol::BeginEnrolmentStep();
    const int errorNo = result.GetErrorNo();
    if (IsRefusal(errorNo)) {
      SetEnrolmentOutcome(Outcome::kRefused);
      char text[256] = {};
      std::snprintf(text, sizeof text, seatenrol::messages::kRegisterRefused, errorNo);
      seatenrol::DebugOutput(text);
      seatenrol::WriteLog(text);
      return false;
    }

    const int infoLength = result.GetErrorInfoLen();
    if (infoLength < kExpectedErrorInfoLength) {
      char text[256] = {};
      std::snprintf(text, sizeof text, seatenrol::messages::kShortErrorInfo, infoLength,
                    kExpectedErrorInfoLength);
      seatenrol::DebugOutput(text);
    }

    const unsigned char* credential = result.GetErrorInfo();
    seatenrol::ReportStage(seatenrol::Stage::kStoring, 0);
    // A cancel that comes before the list's lock is taken leaves the list
    // as it was; once the store has begun it runs to its end.
    if (seatenrol::CurrentLimitHit() == seatenrol::LimitHit::kCancelled) {
      CP2PCommunication::Close();
      SetEnrolmentOutcome(Outcome::kCancelled);
      return false;
    }
    if (seatenrol::CredentialWanted()) {
      seatenrol::EnrolmentReport& report = seatenrol::ThreadEnrolmentReport();
      std::memcpy(report.credential, credential, sizeof report.credential);
    }
    seatenrol::BeginEnrolmentStep();
    const seatenrol::StoreResult stored =
        seatenrol::StoreEnrolment(reinterpret_cast<const char*>(serverName), port, credential);
    CP2PCommunication::Close();
    switch (stored) {
      case seatenrol::StoreResult::kStored:
        SetEnrolmentOutcome(Outcome::kOk);
        return true;  // the caller is told of an enrolment only once its credential is stored
      case seatenrol::StoreResult::kLocked:
        SetEnrolmentOutcome(Outcome::kStoreLocked);
        return false;
      case seatenrol::StoreResult::kCancelled:
        SetEnrolmentOutcome(Outcome::kCancelled);
        return false;
      case seatenrol::StoreResult::kTimedOut:
        SetEnrolmentOutcome(Outcome::kTimedOut);
        return false;
      default:
        SetEnrolmentOutcome(Outcome::kStoreFailed);
        return false;
    }
  } catch (...) {
    // Only allocations throw; the host gets a failure, never an exception.
    CP2PCommunication::Close();
    SetEnrolmentOutcome(Outcome::kNoMemory);
    return false;
  }
}
