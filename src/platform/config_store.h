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

// What CTavConfig::ReadRegAddrs does, for the store whose primary file is
// primary, without taking the lock: readers need none, since the files are
// only ever replaced whole. Returns 1 or 0 as ReadRegAddrs does and sets
// source to one of the CTavConfig::kRead constants.
int ReadStoreFiles(const std::string& primary, ST_REGISTERINFO_LIST& list, int& source);

// How long a CTavConfig waits for another writer to release the list.
constexpr int kStoreLockWaitMs = 10000;

// Replaces that wait, so tests of a held lock need not take 10 s; 0 or less
// restores it.
void SetStoreLockWaitForTesting(int milliseconds);

}  // namespace seatenrol

#endif
