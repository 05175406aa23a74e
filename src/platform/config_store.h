// The configuration library's stored server list (seatenrol/config.h), and
// what the rest of the library and its tests use of it.
#ifndef SEATENROL_PLATFORM_CONFIG_STORE_H
#define SEATENROL_PLATFORM_CONFIG_STORE_H

#include <string>

#include "seatenrol/config.h"

namespace seatenrol {

using ::CTavConfig;
using ::ST_REGISTERINFO;
using ::ST_REGISTERINFO_LIST;

constexpr int kMaxRegisterEntries = ST_REGISTERINFO_LIST::kMaxEntries;

// What a read of the stored list found.
enum class StoreRead {
  kRead,     // list holds the stored list (a missing primary: count 0, every byte zero)
  kDamaged,  // the bytes read fail the file's checks, and the backup's too or it is missing
  kFailed    // a file could not be read for the whole retry, or the lock could not be had:
             // what is stored is unknown and must not be replaced from less
};

// What CTavConfig::ReadRegAddrs does, for the store whose primary file is
// primary, without taking the lock: the files are only ever replaced whole,
// so a read without it still sees one whole list. Returns 1 or 0 as
// ReadRegAddrs does and sets source to one of the CTavConfig::kRead
// constants; why it failed, when asked for.
int ReadStoreFiles(const std::string& primary, ST_REGISTERINFO_LIST& list, int& source,
                   StoreRead* why = nullptr);

// What CTavConfig::ReadRegAddrs does, telling a damaged list from one that
// could not be read; list is untouched unless kRead.
StoreRead ReadStoreList(CTavConfig& config, ST_REGISTERINFO_LIST& list);

// What CTavConfig::WriteRegAddrs does, without the copy its by-value list
// costs the caller's stack.
int WriteStoreList(CTavConfig& config, const ST_REGISTERINFO_LIST& list);

// An exclusive section on config, for a read, an update and a write that no
// other writer or reader may come between, in this process or another.
// While it is open the object holds the lock, and its own reads and writes
// run under it without locking again; any other object's read or write
// waits for it, one in the same thread included, so a thread opens no
// second section and uses no second object inside one. Opening waits as
// long as a write would, and returns the object's new lock state:
// kLockHeld; kLockBusy when another writer held the lock for the whole
// wait; kLockNone when the lock file cannot be opened. An open section is
// closed by CloseStoreSection or by the object's destructor.
int OpenStoreSection(CTavConfig& config);
void CloseStoreSection(CTavConfig& config);

// A section for the lifetime of a scope.
class StoreSection {
public:
  explicit StoreSection(CTavConfig& config) : config_(config), state_(OpenStoreSection(config)) {}
  ~StoreSection() { CloseStoreSection(config_); }
  StoreSection(const StoreSection&) = delete;
  StoreSection& operator=(const StoreSection&) = delete;

  // The lock state OpenStoreSection returned.
  int State() const { return state_; }

private:
  CTavConfig& config_;
  int state_;
};

// How long a read, a write or a section waits for another writer to
// release the list.
constexpr int kStoreLockWaitMs = 10000;

// Replaces that wait, so tests of a held lock need not take 10 s; 0 or less
// restores it.
void SetStoreLockWaitForTesting(int milliseconds);

// How long a read the system refuses, and a replacement another program
// blocks, keep trying.
constexpr int kStoreRetryMs = 2000;

// Replaces that retry, so tests of a failing read need not take 2 s each;
// 0 or less restores it.
void SetStoreRetryForTesting(int milliseconds);

}  // namespace seatenrol

#endif
