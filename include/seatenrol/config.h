// The stored server list: the servers this seat is enrolled with and their
// credentials, as RegisterServer records them. A host program reads the list
// through CTavConfig instead of parsing the file, and so keeps to its lock.
#ifndef SEATENROL_CONFIG_H
#define SEATENROL_CONFIG_H

#include <stddef.h>
#include <stdint.h>

#include "seatenrol/export.h"

#pragma pack(push, 1)
// One stored server: 294 bytes, integers little-endian.
struct ST_REGISTERINFO {
  // The whole name, at most 255 bytes, NUL-padded. An entry an earlier
  // version wrote may hold a longer name cut to its first 32 bytes.
  char serverName[256];
  int port;
  unsigned char enrolled;  // 1 once RegisterServer has written the entry
  unsigned char credential[32];
  unsigned char unused;  // kept as it was read
};

// The whole list as it passes to and from the store: 5884 bytes.
struct ST_REGISTERINFO_LIST {
  enum { kMaxEntries = 20 };
  int count;  // entries in use, 0 to 20
  ST_REGISTERINFO entries[kMaxEntries];
};
#pragma pack(pop)

static_assert(sizeof(ST_REGISTERINFO) == 294, "server entry is byte-packed");
static_assert(offsetof(ST_REGISTERINFO, port) == 256, "port offset");
static_assert(offsetof(ST_REGISTERINFO, enrolled) == 260, "enrolled flag offset");
static_assert(offsetof(ST_REGISTERINFO, credential) == 261, "credential offset");
static_assert(offsetof(ST_REGISTERINFO, unused) == 293, "last byte offset");
static_assert(sizeof(ST_REGISTERINFO_LIST) == 5884, "stored list is byte-packed");

namespace seatenrol {
struct StoreAccess;  // the library's own exclusive sections
}

// Keeps the list in "regaddrs.dat" beside the host executable, or in the
// directory named by SEATENROL_CONFIG_DIR, guarded by the lock file
// "regaddrs.dat.lock" across threads and processes.
//
// The object itself holds no lock, so a host may keep one as long as it
// likes. Each ReadRegAddrs takes the lock shared for that read alone, and
// each WriteRegAddrs takes it exclusively for that write alone, each waiting
// at most 10 s for a writer to finish. Each call on its own is therefore
// atomic, but a read and a later write are two steps: another writer (an
// enrolment of this seat, in this process or another) may store its list
// between them, and the later write then replaces that list.
//
// The library's own updates (an enrolment, and forgetting a server) hold the
// lock exclusively from their read to their write. A host that needs an
// update of its own to be as atomic makes it through the C interface
// (seatenrol/c_api.h: seatenrol_forget_server, seatenrol_forget_all), whose
// calls run as such sections. This class offers no section to hosts: one
// held by a host would stall every enrolment of the seat for its whole life.
class SEATENROL_API CTavConfig {
public:
  // What the last ReadRegAddrs found.
  enum {
    kReadNothing = 0,  // no read yet, or nothing readable (damaged, no good backup,
                       // I/O error, or the lock stayed taken by a writer for the whole wait)
    kReadMissing = 1,  // no list yet: the primary file is missing
    kReadPrimary = 2,
    kReadBackup = 3  // the primary is damaged; the list came from its backup
  };
  // The state of the object's exclusive section, which only the library's
  // own updates open: a host's objects always report kLockNone.
  enum {
    kLockNone = 0,  // no section open (none asked for, closed, or the lock file
                    // could not be opened: no directory, no rights)
    kLockHeld = 1,  // a section is open: the object holds the lock exclusively
    kLockBusy = 2   // the last attempt found another writer holding it for the whole wait
  };

  CTavConfig();
  ~CTavConfig();

  // 1 when list holds the stored list (count 0..20; a missing primary reads
  // as count 0 with every byte zero); 0 otherwise, list untouched. The lock
  // is taken shared for the read; where the lock file cannot be opened (a
  // directory the host may not write to) or locked, the read goes ahead
  // without it, since the files are only ever replaced whole. A file the
  // system would not open or read (another program holding it, an I/O
  // error) is tried again for up to 2 s, and is then a failed read (0), never
  // a damaged list.
  int ReadRegAddrs(ST_REGISTERINFO_LIST& list);
  // 1 when the list is stored durably; 0 otherwise: the lock could not be
  // had (no directory, no rights, or another writer held it for the whole
  // wait), the count is outside 0..20, or a file step failed (the list and
  // its backup then stay byte for byte as they were, or, when a step after
  // the list's own replacement failed, the list is the new one and the
  // backup one generation older).
  int WriteRegAddrs(ST_REGISTERINFO_LIST list);
  // 1 while the object's exclusive section is open.
  int IsLocked() const;
  // One of kLockNone, kLockHeld, kLockBusy.
  int GetLockState() const;
  // One of the kRead constants.
  int GetReadSource() const;
  // The full path of "regaddrs.dat"; empty when it could not be found. UTF-8
  // on every system: on Windows, where the path is read and used through the
  // system's wide-character calls, a host converts it
  // (MultiByteToWideChar(CP_UTF8, ...)) before passing it to a file call.
  const char* GetStorePath() const;

  // An object may hold the lock of a section; it is not copied.
  CTavConfig(const CTavConfig&) = delete;
  CTavConfig& operator=(const CTavConfig&) = delete;

private:
  friend struct seatenrol::StoreAccess;
  enum { kStorePathCapacity = 4096 };

  intptr_t m_lock;  // the open section's lock file, descriptor or handle; -1 when none
  int m_lockState;  // one of the kLock constants
  int m_readSource;
  char m_storePath[kStorePathCapacity];
};

// The layout is part of the contract with compiled hosts.
static_assert(sizeof(CTavConfig) == sizeof(intptr_t) + 8 + 4096, "CTavConfig layout");

#endif
