// The system calls with which the stored server list opens, reads, creates,
// writes, flushes and replaces its files. The store makes them through this table
// so that a test can put a failing stand-in in the place of any one of them;
// otherwise each entry is the system's own call. Tests change entries only
// while no other thread is inside the store.
#ifndef SEATENROL_PLATFORM_CONFIG_STORE_CALLS_POSIX_H
#define SEATENROL_PLATFORM_CONFIG_STORE_CALLS_POSIX_H

#include <fcntl.h>
#include <stdio.h>
#include <sys/types.h>
#include <unistd.h>

namespace seatenrol {

struct StoreCalls {
  int (*open)(const char* path, int flags, mode_t mode);  // every file: list, backup, staging, lock
  ssize_t (*read)(int fd, void* data, size_t size);
  ssize_t (*write)(int fd, const void* data, size_t size);
  int (*fsync)(int fd);
  int (*rename)(const char* from, const char* to);
};

// The system's own calls.
constexpr StoreCalls kSystemStoreCalls = {
    [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }, ::read,
    ::write, ::fsync, ::rename};

// The table in use.
StoreCalls& StoreSystemCalls();

}  // namespace seatenrol

#endif
