#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/config_store_calls_posix.h"
#include "platform/config_store_os.h"
#include "platform/system_error.h"

namespace seatenrol {

namespace {

// Constant-initialised: in place before any constructor of the host runs.
StoreCalls calls = kSystemStoreCalls;

// The list holds the servers' credentials.
constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;

// Retries a call that a signal interrupted.
template <typename Call>
auto RetryInterrupted(Call call) -> decltype(call()) {
  decltype(call()) result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

bool SyncDirectoryOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  const std::string directory =
      slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
  const int fd = RetryInterrupted(
      [&] { return calls.open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0); });
  if (fd < 0) {
    RecordSystemError(errno);
    return false;
  }
  // Some file systems cannot sync a directory at all; the rename then stands
  // as durable as the file system makes it.
  const bool synced = calls.fsync(fd) == 0 || errno == EINVAL;
  if (!synced) RecordSystemError(errno);
  close(fd);
  return synced;
}

}  // namespace

StoreCalls& StoreSystemCalls() { return calls; }

bool StorePathFits(const std::string& path) { return path.size() < PATH_MAX; }

char StorePathSeparator() { return '/'; }

bool ReadEnvironmentPath(const char* name, std::string& value) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return false;
  value = text;
  return true;
}

FileReadResult ReadSmallFile(const std::string& path, unsigned char* buffer, std::size_t capacity,
                             std::size_t& size) {
  size = 0;
  const int fd =
      RetryInterrupted([&] { return calls.open(path.c_str(), O_RDONLY | O_CLOEXEC, 0); });
  if (fd < 0) {
    if (errno == ENOENT) return FileReadResult::kMissing;
    RecordSystemError(errno);
    return FileReadResult::kFailed;
  }
  bool ok = true;
  while (size < capacity) {
    const ssize_t got =
        RetryInterrupted([&] { return calls.read(fd, buffer + size, capacity - size); });
    if (got < 0) {
      RecordSystemError(errno);
      ok = false;
    }
    if (got <= 0) break;
    size += static_cast<std::size_t>(got);
  }
  close(fd);
  return ok ? FileReadResult::kRead : FileReadResult::kFailed;
}

bool WriteNewFileDurably(const std::string& path, const unsigned char* data, std::size_t size) {
  const int fd = RetryInterrupted([&] {
    return calls.open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kOwnerOnly);
  });
  if (fd < 0) {
    RecordSystemError(errno);
    return false;
  }
  std::size_t done = 0;
  while (done < size) {
    const ssize_t put = RetryInterrupted([&] { return calls.write(fd, data + done, size - done); });
    if (put <= 0) {
      // A write that puts nothing without an error: the device is full.
      RecordSystemError(put < 0 ? errno : ENOSPC);
      break;
    }
    done += static_cast<std::size_t>(put);
  }
  const bool synced = done == size && calls.fsync(fd) == 0;
  if (done == size && !synced) RecordSystemError(errno);
  const bool closed = close(fd) == 0;
  if (synced && !closed) RecordSystemError(errno);
  if (synced && closed) return true;
  unlink(path.c_str());
  return false;
}

// rename replaces to in one step whoever holds it open; a rename is durable
// only once its directory is synced.
bool ReplaceFileDurably(const std::string& from, const std::string& to) {
  if (calls.rename(from.c_str(), to.c_str()) != 0) {
    RecordSystemError(errno);
    return false;
  }
  return SyncDirectoryOf(to);
}

bool RemoveFile(const std::string& path) {
  if (unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  RecordSystemError(errno);
  return false;
}

std::intptr_t OpenLockFile(const std::string& path, LockFileAccess access) {
  // flock needs no write access, so a reader can lock a file it may not change.
  const int flags = access == LockFileAccess::kWriter ? O_RDWR | O_CREAT : O_RDONLY;
  const int fd = RetryInterrupted(
      [&] { return calls.open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, kOwnerOnly); });
  // A reader goes on without the lock file: its failure ends nothing.
  if (fd < 0 && access == LockFileAccess::kWriter) RecordSystemError(errno);
  return fd < 0 ? kNoLockFile : fd;
}

// flock, not fcntl: its lock belongs to the open file, so the threads of one
// process exclude each other too, and it is released however the process ends.
LockAttempt TryLock(std::intptr_t lockFile, LockMode mode) {
  const int fd = static_cast<int>(lockFile);
  const int operation = mode == LockMode::kExclusive ? LOCK_EX : LOCK_SH;
  if (RetryInterrupted([&] { return flock(fd, operation | LOCK_NB); }) == 0) {
    return LockAttempt::kLocked;
  }
  if (errno == EWOULDBLOCK) return LockAttempt::kBusy;
  // A reader goes on without the lock; a writer stops here.
  if (mode == LockMode::kExclusive) RecordSystemError(errno);
  return LockAttempt::kFailed;
}

void CloseLockFile(std::intptr_t lockFile) { close(static_cast<int>(lockFile)); }

}  // namespace seatenrol
