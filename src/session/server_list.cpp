#include "session/server_list.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "log/log.h"
#include "log/messages.h"
#include "platform/call_limits.h"
#include "session/session_limits.h"

namespace seatenrol {
namespace {

enum class NameMatch { kNone, kWhole, kCut };

// How entry stands to the server name (length bytes) at port. An earlier
// version kept only the first 32 bytes of a longer name, so such an entry
// still belongs to the longer names that begin with it.
NameMatch MatchOf(const ST_REGISTERINFO& entry, const char* name, std::size_t length, int port) {
  if (entry.port != port || length > kMaxStoredNameLength) return NameMatch::kNone;
  const std::size_t stored = BoundedLength(entry.serverName, sizeof entry.serverName);
  if (stored == length && std::memcmp(entry.serverName, name, length) == 0) {
    return NameMatch::kWhole;
  }
  if (stored == kLegacyNameLength && length > kLegacyNameLength &&
      std::memcmp(entry.serverName, name, kLegacyNameLength) == 0) {
    return NameMatch::kCut;
  }
  return NameMatch::kNone;
}

// The entries in use, whatever count a damaged record claims.
int EntriesInUse(const ST_REGISTERINFO_LIST& list) {
  return list.count < 0 ? 0 : list.count > kMaxRegisterEntries ? kMaxRegisterEntries : list.count;
}

// How the entries kept for the name match it: whole when any holds the
// whole name, else cut.
NameMatch KeptAs(const ST_REGISTERINFO_LIST& list, const char* name, std::size_t length, int port) {
  NameMatch kept = NameMatch::kNone;
  for (int k = 0; k < EntriesInUse(list); ++k) {
    const NameMatch match = MatchOf(list.entries[k], name, length, port);
    if (match == NameMatch::kWhole) return match;
    if (match == NameMatch::kCut) kept = match;
  }
  return kept;
}

void RecordCredential(ST_REGISTERINFO& entry, const unsigned char* credential) {
  entry.enrolled = 1;
  std::memcpy(entry.credential, credential, sizeof entry.credential);
}

void StoreName(ST_REGISTERINFO& entry, const char* name) {
  std::memset(entry.serverName, 0, sizeof entry.serverName);
  std::memcpy(entry.serverName, name, BoundedLength(name, kMaxStoredNameLength));
}

// Writes the entry's own fields only: its last byte keeps what the read brought.
void FillNewEntry(ST_REGISTERINFO& entry, const char* name, int port,
                  const unsigned char* credential) {
  StoreName(entry, name);
  entry.port = port;
  RecordCredential(entry, credential);
}

// The stored list and the object that reads and writes it: 10 KB together,
// kept off the stack of the enrolment, which runs on the host's thread.
struct StoredList {
  CTavConfig config;
  ST_REGISTERINFO_LIST list;
};

enum class SectionResult { kStored, kUnchanged, kLocked, kCannotLock, kNotStored };

// Reads, changes and writes the stored list as one exclusive section.
// change(list, read) gets the list (zero-filled when the read failed, read
// then false) and returns whether to write it back.
template <typename Change>
SectionResult UpdateInSection(Change change) {
  const std::unique_ptr<StoredList> stored(new (std::nothrow) StoredList);
  if (!stored) return SectionResult::kNotStored;
  const StoreSection section(stored->config);
  if (section.State() == CTavConfig::kLockBusy) return SectionResult::kLocked;
  if (section.State() != CTavConfig::kLockHeld) return SectionResult::kCannotLock;
  ST_REGISTERINFO_LIST& list = stored->list;
  std::memset(&list, 0, sizeof list);
  const bool read = stored->config.ReadRegAddrs(list) == 1;
  if (!read) std::memset(&list, 0, sizeof list);
  if (!change(list, read)) return SectionResult::kUnchanged;
  return WriteStoreList(stored->config, list) == 1 ? SectionResult::kStored
                                                   : SectionResult::kNotStored;
}

ForgetResult ForgetOutcome(SectionResult result, bool unreadable) {
  switch (result) {
    case SectionResult::kStored:
      return ForgetResult::kForgotten;
    case SectionResult::kUnchanged:
      return unreadable ? ForgetResult::kFailed : ForgetResult::kNotFound;
    case SectionResult::kLocked:
      return ForgetResult::kLocked;
    default:
      return ForgetResult::kFailed;
  }
}

void Report(const char* message) {
  DebugOutput(message);
  WriteLog(message);
}

}  // namespace

int FindServer(const ST_REGISTERINFO_LIST& list, const char* name, int port) {
  const std::size_t length = std::strlen(name);
  const NameMatch kept = KeptAs(list, name, length, port);
  if (kept == NameMatch::kNone) return -1;
  for (int k = 0; k < EntriesInUse(list); ++k) {
    if (MatchOf(list.entries[k], name, length, port) == kept) return k;
  }
  return -1;
}

bool RecordServer(ST_REGISTERINFO_LIST& list, const char* name, int port,
                  const unsigned char* credential, char* note, std::size_t noteSize) {
  // The list has room for 20 entries whatever count a damaged record claims.
  if (list.count > kMaxRegisterEntries) list.count = kMaxRegisterEntries;
  const int found = FindServer(list, name, port);
  if (found >= 0) {
    ST_REGISTERINFO& entry = list.entries[found];
    // An entry cut by an earlier version takes the whole name from now on.
    if (BoundedLength(entry.serverName, sizeof entry.serverName) != std::strlen(name)) {
      StoreName(entry, name);
    }
    RecordCredential(entry, credential);
    return false;
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
  const std::size_t length = std::strlen(name);
  const NameMatch kept = KeptAs(list, name, length, port);
  const int count = EntriesInUse(list);
  int left = 0;
  for (int i = 0; i < count; ++i) {
    if (kept != NameMatch::kNone && MatchOf(list.entries[i], name, length, port) == kept) continue;
    if (left != i) list.entries[left] = list.entries[i];
    ++left;
  }
  for (int i = left; i < count; ++i) std::memset(&list.entries[i], 0, sizeof list.entries[i]);
  list.count = left;
  return count - left;
}

StoreResult StoreEnrolment(const char* name, int port, const unsigned char* credential) {
  // Cut, the name could share its entry with another server's.
  if (std::strlen(name) > kMaxStoredNameLength) {
    Report(messages::kServerListNotStored);
    return StoreResult::kFailed;
  }
  // The messages wait until the section is over: the debugger output may
  // reach the host's own code, which must not run under the store's lock.
  bool started = false;
  char dropped[512] = {};
  const SectionResult result = UpdateInSection([&](ST_REGISTERINFO_LIST& list, bool read) {
    if (read && list.count >= 1) {
      RecordServer(list, name, port, credential, dropped, sizeof dropped);
    } else {
      StartList(list, name, port, credential);
      started = true;
    }
    return true;
  });
  if (started) {
    DebugOutput(messages::kWriteRegisterInfoDebug);
    WriteLog(messages::kWriteRegisterInfoLog);
  }
  if (dropped[0] != '\0') WriteLog(dropped);
  switch (result) {
    case SectionResult::kStored:
      return StoreResult::kStored;
    case SectionResult::kLocked:
      // The host's cancel or deadline ended the wait, not the other writer.
      switch (CurrentLimitHit()) {
        case LimitHit::kCancelled:
          return StoreResult::kCancelled;
        case LimitHit::kDeadline:
          return StoreResult::kTimedOut;
        default:
          break;
      }
      Report(messages::kServerListLocked);
      return StoreResult::kLocked;
    default:
      Report(messages::kServerListNotStored);
      return StoreResult::kFailed;
  }
}

ForgetResult ForgetServer(const char* name, int port) {
  bool unreadable = false;
  const SectionResult result = UpdateInSection([&](ST_REGISTERINFO_LIST& list, bool read) {
    unreadable = !read;
    return read && RemoveServer(list, name, port) > 0;
  });
  return ForgetOutcome(result, unreadable);
}

ForgetResult ForgetAll() {
  // A list that cannot be read is replaced as well: forgetting everything is
  // also the way out of a damaged store.
  const SectionResult result = UpdateInSection([](ST_REGISTERINFO_LIST& list, bool) {
    std::memset(&list, 0, sizeof list);
    return true;
  });
  return ForgetOutcome(result, false);
}

}  // namespace seatenrol
