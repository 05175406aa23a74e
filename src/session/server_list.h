// Updating the stored server list: an accepted server recorded, a server or
// every server forgotten.
#ifndef SEATENROL_SESSION_SERVER_LIST_H
#define SEATENROL_SESSION_SERVER_LIST_H

#include <cstddef>

#include "platform/config_store.h"

namespace seatenrol {

// The longest name an entry holds whole: its 256-byte field keeps a
// terminator. A longer name is never stored nor found.
constexpr std::size_t kMaxStoredNameLength = 255;
// What earlier versions kept of a longer name in an entry they appended.
constexpr std::size_t kLegacyNameLength = 32;

// The index of the entry kept for the server name at port among the list's
// entries in use, -1 when there is none: the first entry holding the whole
// name, else the first holding exactly its first 32 bytes, as an earlier
// version wrote it for a longer name.
int FindServer(const ST_REGISTERINFO_LIST& list, const char* name, int port);

// Records the server (name at most 255 bytes) in a list that was read
// (count 1..20): the entry FindServer finds gets the credential (the first
// 32 bytes of credential), and one an earlier version cut to 32 bytes gets
// the whole name again; otherwise a new entry is appended, its last byte as
// it was. A full list first drops its oldest entry (index 0); the function
// then returns true and writes a log line naming the dropped server into
// note.
bool RecordServer(ST_REGISTERINFO_LIST& list, const char* name, int port,
                  const unsigned char* credential, char* note, std::size_t noteSize);

// Replaces the list with one holding only this server (name at most 255
// bytes).
void StartList(ST_REGISTERINFO_LIST& list, const char* name, int port,
               const unsigned char* credential);

// Removes every entry kept for the server name at port, keeping the others
// in their order; the number removed. The entries holding the whole name go;
// only when there is none do those an earlier version cut to 32 bytes.
int RemoveServer(ST_REGISTERINFO_LIST& list, const char* name, int port);

// kCancelled and kTimedOut: the current call's limits ended the wait for
// the lock; nothing was stored.
enum class StoreResult { kStored, kLocked, kFailed, kCancelled, kTimedOut };

// Records an accepted server in the stored server list, as one exclusive
// section from the read to the write, and logs what went wrong once the
// section is over. Once the lock is held the section runs to its end,
// whatever the call's limits say. credential is the answer's error info, of which the
// first 32 bytes are kept. A name longer than 255 bytes is not stored:
// kFailed.
StoreResult StoreEnrolment(const char* name, int port, const unsigned char* credential);

enum class ForgetResult {
  kForgotten,  // removed and the list stored
  kNotFound,   // no entry for that server: nothing written
  kLocked,     // another writer held the list for the whole wait
  kFailed      // the list could not be read, locked or written; it stays as it was
};

// Removes the server name at port from the stored list (RemoveServer), as
// one exclusive section.
ForgetResult ForgetServer(const char* name, int port);

// Empties the stored list, also one that can no longer be read, as one
// exclusive section.
ForgetResult ForgetAll();

}  // namespace seatenrol

#endif
