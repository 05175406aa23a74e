// What the stored server list needs from the operating system: files that
// reach the disk before they replace another, and a lock file held across
// threads and processes. Paths are UTF-8 on every system; the Windows half
// converts them for the system's wide-character calls. Every call below that
// fails in a system call records the system's code (RecordSystemError) at
// the point it fails; a failure the store goes past (a reader without a lock
// file, a file already gone) records nothing.
#ifndef SEATENROL_PLATFORM_CONFIG_STORE_OS_H
#define SEATENROL_PLATFORM_CONFIG_STORE_OS_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace seatenrol {

// Whether the file calls below accept path (and the system can name it).
bool StorePathFits(const std::string& path);

// The value of the environment variable name; false when it is unset or empty.
bool ReadEnvironmentPath(const char* name, std::string& value);

// The separator between a directory and a file name.
char StorePathSeparator();

enum class FileReadResult { kRead, kMissing, kFailed };

// Reads at most capacity bytes of path into buffer; size receives the count.
// A file longer than capacity reads as capacity bytes, so callers ask for one
// byte more than they expect to see a file that is too long. kMissing when
// nothing is at path; kFailed when something is but the system would not
// open or read it (busy, denied, an I/O error): what the file holds is then
// unknown, never damaged.
FileReadResult ReadSmallFile(const std::string& path, unsigned char* buffer, std::size_t capacity,
                             std::size_t& size);

// Creates path, which must not exist yet, for its owner only (POSIX: mode
// 0600; Windows: a protected DACL granting the creating user, SYSTEM and
// Administrators full control and nobody else anything), writes size bytes
// and flushes them to the device (fsync, FlushFileBuffers). On failure
// nothing is left behind.
bool WriteNewFileDurably(const std::string& path, const unsigned char* data, std::size_t size);

// Puts from in the place of to (replacing it when present) by one rename.
// POSIX: rename, which guarantees that to names the old file or the new one
// at every instant, then fsync of the directory, which makes it durable.
// Windows: a rename that replaces a target other programs hold open with
// delete shared where the system has it, MoveFileExW otherwise; either is
// one rename request to the file system, for which Microsoft documents no
// such guarantee, and keeps trying for StoreRetryMs while another program's
// handle blocks it. Windows offers an ordinary program no flush of a
// directory, so there the rename is as durable as the file system makes it.
bool ReplaceFileDurably(const std::string& from, const std::string& to);

// How long a read of a file the system would not open or read, and a
// replacement another program blocks, keep trying: 2 s, unless a test
// changed it (SetStoreRetryForTesting).
int StoreRetryMs();

// Removes path; true when it is gone, also when it was never there.
bool RemoveFile(const std::string& path);

// The lock file: a descriptor (POSIX) or handle (Windows) as an integer.
constexpr std::intptr_t kNoLockFile = -1;

enum class LockFileAccess {
  kWriter,  // read and write, created (owner-only on POSIX) when missing
  kReader   // read only, never created
};

// Opens path for locking; kNoLockFile when it cannot be opened.
std::intptr_t OpenLockFile(const std::string& path, LockFileAccess access);

enum class LockMode { kShared, kExclusive };
enum class LockAttempt { kLocked, kBusy, kFailed };

// One attempt, without waiting, at the lock of an open lock file. Shared
// locks coexist; an exclusive one excludes every other. The lock belongs to
// this opening of the file, so two openings in one process exclude each
// other as two processes do.
LockAttempt TryLock(std::intptr_t lockFile, LockMode mode);

// Releases the lock, if held, and closes the file.
void CloseLockFile(std::intptr_t lockFile);

}  // namespace seatenrol

#endif
