// The stored server list: the servers this seat is enrolled with and their
// credentials, as RegisterServer records them. A host program reads the list
// through CTavConfig instead of parsing the file, and so shares its lock.
#ifndef SEATENROL_CONFIG_H
#define SEATENROL_CONFIG_H

#include <stddef.h>
#include <stdint.h>

#include "seatenrol/export.h"

#pragma pack(push, 1)
// One stored server: 294 bytes, integers little-endian.
struct ST_REGISTERINFO {
  char serverName[256];  // NUL-padded; a name longer than 32 bytes is kept cut to 32
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

// Keeps the list in "regaddrs.dat" beside the host executable, or in the
// directory named by SEATENROL_CONFIG_DIR. One object is one critical section:
// the constructor takes "regaddrs.dat.lock" exclusively (waiting at most 10 s)
// and the destructor releases it, so a read, an update and a write made through
// one object are never interleaved with another writer's, in this process or
// another. Hold an object only as long as the update takes.
class SEATENROL_API CTavConfig {
public:
  // What the last ReadRegAddrs found.
  enum {
    kReadNothing = 0,  // no read yet, or nothing readable (damaged, no good backup, I/O error)
    kReadMissing = 1,  // no list yet: the primary file is missing
    kReadPrimary = 2,
    kReadBackup = 3  // the primary is damaged; the list came from its backup
  };
  // What the constructor got.
  enum {
    kLockNone = 0,  // the lock file could not be opened (no directory, no rights)
    kLockHeld = 1,
    kLockBusy = 2  // another writer held the lock for the whole wait
  };

  CTavConfig();
  ~CTavConfig();

  // 1 when list holds the stored list (count 0..20; a missing primary reads
  // as count 0 with every byte zero); 0 otherwise, list untouched. Reads need
  // no lock: the files are only ever replaced whole.
  int ReadRegAddrs(ST_REGISTERINFO_LIST& list);
  // 1 when the list is stored durably; 0 otherwise, also when the constructor
  // did not get the lock (nothing is written then).
  int WriteRegAddrs(ST_REGISTERINFO_LIST list);
  // 1 when the constructor got the lock.
  int IsLocked() const;
  // One of kLockNone, kLockHeld, kLockBusy.
  int GetLockState() const;
  // One of the kRead constants.
  int GetReadSource() const;
  // The full path of "regaddrs.dat"; empty when it could not be found.
  const char* GetStorePath() const;

  // One object holds one lock; it is not copied.
  CTavConfig(const CTavConfig&) = delete;
  CTavConfig& operator=(const CTavConfig&) = delete;

private:
  enum { kStorePathCapacity = 4096 };

  intptr_t m_lock;  // the lock file's descriptor or handle; -1 when none
  int m_lockState;
  int m_readSource;
  char m_storePath[kStorePathCapacity];
};

// The layout is part of the contract with compiled hosts.
static_assert(sizeof(CTavConfig) == sizeof(intptr_t) + 8 + 4096, "CTavConfig layout");

#endif
