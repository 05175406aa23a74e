// Server enrolment: one exchange, the verdict on the server's answer, and on
// acceptance the server recorded in the stored server list.
#include <cstdio>
#include <cstring>

#include "log/log.h"
#include "log/messages.h"
#include "platform/config_store.h"
#include "seatenrol/session.h"
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
  if (venueID == nullptr || secret == nullptr || serverName == nullptr) return false;
  RegError result;

  // The tag is the venue ID's text, which may fill its 20 bytes unterminated.
  char tag[seatenrol::kVenueIDSize + 1] = {};
  std::memcpy(tag, venueID, seatenrol::VenueIDLength(venueID));
  seatenrol::SetLogTag(tag);

  if (!Init()) return false;
  if (!Register(result, venueID, secret, serverName, port)) {
    seatenrol::DebugOutput(seatenrol::messages::kRegisterFailedDebug);
    seatenrol::WriteLog(seatenrol::messages::kRegisterFailedLog);
    return false;
  }

  const int errorNo = result.GetErrorNo();
  if (IsRefusal(errorNo)) {
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

  const char* name = reinterpret_cast<const char*>(serverName);
  const unsigned char* credential = result.GetErrorInfo();
  // The object's lifetime is the critical section: no other writer reads or
  // writes the list between this read and this write.
  CTavConfig config;
  if (config.GetLockState() == CTavConfig::kLockBusy) {
    seatenrol::DebugOutput(seatenrol::messages::kServerListLocked);
    seatenrol::WriteLog(seatenrol::messages::kServerListLocked);
    CP2PCommunication::Close();
    return false;
  }
  ST_REGISTERINFO_LIST list;
  std::memset(&list, 0, sizeof list);
  if (config.ReadRegAddrs(list) == 1 && list.count >= 1) {
    char dropped[512] = {};
    if (seatenrol::RecordServer(list, name, port, credential, dropped, sizeof dropped)) {
      seatenrol::WriteLog(dropped);
    }
  } else {
    seatenrol::DebugOutput(seatenrol::messages::kWriteRegisterInfoDebug);
    seatenrol::WriteLog(seatenrol::messages::kWriteRegisterInfoLog);
    seatenrol::StartList(list, name, port, credential);
  }
  // The caller is told of an enrolment only once its credential is stored.
  const bool stored = config.WriteRegAddrs(list) == 1;
  if (!stored) {
    seatenrol::DebugOutput(seatenrol::messages::kServerListNotStored);
    seatenrol::WriteLog(seatenrol::messages::kServerListNotStored);
  }
  CP2PCommunication::Close();
  return stored;
}
