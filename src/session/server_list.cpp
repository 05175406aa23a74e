#include "session/server_list.h"

#include <cstdio>
#include <cstring>

#include "log/log.h"
#include "log/messages.h"
#include "session/session_limits.h"

namespace seatenrol {
namespace {

bool StoredNameIs(const ST_REGISTERINFO& entry, const char* name, std::size_t length) {
  return BoundedLength(entry.serverName, sizeof entry.serverName) == length &&
         std::memcmp(entry.serverName, name, length) == 0;
}

void RecordCredential(ST_REGISTERINFO& entry, const unsigned char* credential) {
  entry.enrolled = 1;
  std::memcpy(entry.credential, credential, sizeof entry.credential);
}

// Writes the entry's own fields only: its last byte keeps what the read brought.
void FillNewEntry(ST_REGISTERINFO& entry, const char* name, int port,
                  const unsigned char* credential) {
  std::memset(entry.serverName, 0, sizeof entry.serverName);
  std::memcpy(entry.serverName, name, BoundedLength(name, kStoredNameLength));
  entry.port = port;
  RecordCredential(entry, credential);
}

}  // namespace

// A name longer than the stored part is also found by that part, which is all
// an appended entry keeps of it; otherwise it would be appended again at
// every enrolment and push the other servers out.
bool SameServer(const ST_REGISTERINFO& entry, const char* name, int port) {
  if (entry.port != port) return false;
  const std::size_t length = std::strlen(name);
  return StoredNameIs(entry, name, length) ||
         (length > kStoredNameLength && StoredNameIs(entry, name, kStoredNameLength));
}

bool RecordServer(ST_REGISTERINFO_LIST& list, const char* name, int port,
                  const unsigned char* credential, char* note, std::size_t noteSize) {
  // The list has room for 20 entries whatever count a damaged record claims.
  if (list.count > kMaxRegisterEntries) list.count = kMaxRegisterEntries;
  for (int k = 0; k < list.count; ++k) {
    if (SameServer(list.entries[k], name, port)) {
      RecordCredential(list.entries[k], credential);
      return false;
    }
  }
  bool dropped = false;
  if (list.count >= kMaxRegisterEntries) {
    const ST_REGISTERINFO& oldest = list.entries[0];
    std::snprintf(note, noteSize, messages::kServerListFull,
                  static_cast<int>(BoundedLength(oldest.serverName, sizeof oldest.serverName)),
                  oldest.serverName, oldest.port);
    std::memmove(&list.entries[0], &list.entries[1],
                 sizeof(ST_REGISTERINFO) * (kMaxRegisterEntries - 1));
    list.count = kMaxRegisterEntries - 1;
    dropped = true;
  }
  FillNewEntry(list.entries[list.count], name, port, credential);
  ++list.count;
  return dropped;
}

void StartList(ST_REGISTERINFO_LIST& list, const char* name, int port,
               const unsigned char* credential) {
  // Nothing a failed read left behind is kept.
  std::memset(&list, 0, sizeof list);
  FillNewEntry(list.entries[0], name, port, credential);
  list.count = 1;
}

int RemoveServer(ST_REGISTERINFO_LIST& list, const char* name, int port) {
  int kept = 0;
  for (int i = 0; i < list.count; ++i) {
    if (SameServer(list.entries[i], name, port)) continue;
    if (kept != i) list.entries[kept] = list.entries[i];
    ++kept;
  }
  const int removed = list.count - kept;
  for (int i = kept; i < list.count; ++i) std::memset(&list.entries[i], 0, sizeof list.entries[i]);
  list.count = kept;
  return removed;
}

StoreResult StoreEnrolment(const char* name, int port, const unsigned char* credential) {
  // The object's lifetime is the critical section: no other writer reads or
  // writes the list between this read and this write.
  CTavConfig config;
  if (config.GetLockState() == CTavConfig::kLockBusy) {
    DebugOutput(messages::kServerListLocked);
    WriteLog(messages::kServerListLocked);
    return StoreResult::kLocked;
  }
  ST_REGISTERINFO_LIST list;
  std::memset(&list, 0, sizeof list);
  if (config.ReadRegAddrs(list) == 1 && list.count >= 1) {
    char dropped[512] = {};
    if (RecordServer(list, name, port, credential, dropped, sizeof dropped)) WriteLog(dropped);
  } else {
    DebugOutput(messages::kWriteRegisterInfoDebug);
    WriteLog(messages::kWriteRegisterInfoLog);
    StartList(list, name, port, credential);
  }
  if (config.WriteRegAddrs(list) == 1) return StoreResult::kStored;
  DebugOutput(messages::kServerListNotStored);
  WriteLog(messages::kServerListNotStored);
  return StoreResult::kFailed;
}

}  // namespace seatenrol
