// Updating the stored server list with an accepted server.
#ifndef SEATENROL_SESSION_SERVER_LIST_H
#define SEATENROL_SESSION_SERVER_LIST_H

#include <cstddef>

#include "platform/config_store.h"

namespace seatenrol {

// An appended entry keeps at most this much of its name.
constexpr std::size_t kStoredNameLength = 32;

// Whether entry is the one kept for the server name at port: the same name,
// or for a name longer than 32 bytes its first 32 bytes.
bool SameServer(const ST_REGISTERINFO& entry, const char* name, int port);

// Records the server in a list that was read (count 1..20): the first entry
// with the same port whose name is the name given, or for a name longer than
// 32 bytes its first 32 bytes, gets the credential (the first 32 bytes of
// credential); otherwise a new entry is appended, its last byte as it was. A full list first drops
// its oldest entry (index 0); the function then returns true and writes a log line naming the
// dropped server into note.
bool RecordServer(ST_REGISTERINFO_LIST& list, const char* name, int port,
                  const unsigned char* credential, char* note, std::size_t noteSize);

// Replaces the list with one holding only this server.
void StartList(ST_REGISTERINFO_LIST& list, const char* name, int port,
               const unsigned char* credential);

// Removes every entry kept for the server name at port, keeping the others
// in their order; the number removed.
int RemoveServer(ST_REGISTERINFO_LIST& list, const char* name, int port);

enum class StoreResult { kStored, kLocked, kFailed };

// Records an accepted server in the stored server list, as one critical
// section from the read to the write, and logs what went wrong. credential
// is the answer's error info, of which the first 32 bytes are kept.
StoreResult StoreEnrolment(const char* name, int port, const unsigned char* credential);

}  // namespace seatenrol

#endif
