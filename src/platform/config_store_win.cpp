#include <windows.h>

#include "platform/config_store_os.h"

namespace seatenrol {

namespace {

// Nothing at the path: the file or its directory does not exist, as POSIX
// reports both with ENOENT.
bool IsAbsent(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

std::size_t MaxStorePathSize() { return MAX_PATH; }

char StorePathSeparator() { return '\\'; }

bool ReadEnvironmentPath(const char* name, std::string& value) {
  char text[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA(name, text, MAX_PATH);
  if (length == 0) return false;
  if (length < MAX_PATH) {
    value.assign(text, length);
    return true;
  }
  // Too long for the buffer: the call reported the size it needs, terminator
  // included. The caller refuses the path for its length.
  value.assign(length, '\0');
  const DWORD copied = GetEnvironmentVariableA(name, &value[0], length);
  if (copied == 0 || copied >= length) return false;
  value.resize(copied);
  return true;
}

FileReadResult ReadSmallFile(const std::string& path, unsigned char* buffer, std::size_t capacity,
                             std::size_t& size) {
  size = 0;
  // Sharing delete lets a writer replace the file while it is being read.
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return IsAbsent(GetLastError()) ? FileReadResult::kMissing : FileReadResult::kFailed;
  }
  bool ok = true;
  while (size < capacity) {
    const std::size_t wanted = capacity - size;
    const DWORD chunk = wanted > 0x10000 ? 0x10000 : static_cast<DWORD>(wanted);
    DWORD got = 0;
    if (!ReadFile(file, buffer + size, chunk, &got, nullptr)) ok = false;
    if (!ok || got == 0) break;
    size += got;
  }
  CloseHandle(file);
  return ok ? FileReadResult::kRead : FileReadResult::kFailed;
}

// No security descriptor of its own: the file inherits the directory's ACL.
bool WriteNewFileDurably(const std::string& path, const unsigned char* data, std::size_t size) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::size_t done = 0;
  while (done < size) {
    const std::size_t wanted = size - done;
    const DWORD chunk = wanted > 0x10000 ? 0x10000 : static_cast<DWORD>(wanted);
    DWORD put = 0;
    if (!WriteFile(file, data + done, chunk, &put, nullptr) || put == 0) break;
    done += put;
  }
  const bool flushed = done == size && FlushFileBuffers(file);
  const bool closed = CloseHandle(file) != 0;
  if (flushed && closed) return true;
  DeleteFileA(path.c_str());
  return false;
}

bool ReplaceFileDurably(const std::string& from, const std::string& to) {
  // A reader or a scanner that holds the target open without sharing delete
  // blocks the replacement for a moment; a few short waits ride that out.
  constexpr int kAttempts = 5;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
    Sleep(20);
  }
  return false;
}

bool RemoveFile(const std::string& path) {
  return DeleteFileA(path.c_str()) || IsAbsent(GetLastError());
}

std::intptr_t OpenLockFile(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? kNoLockFile : reinterpret_cast<std::intptr_t>(file);
}

// A byte-range lock belongs to the handle, so two handles of one process
// exclude each other as two processes do; the system releases it when the
// handle is closed or the process ends.
LockAttempt TryLockExclusive(std::intptr_t lockFile) {
  OVERLAPPED at = {};
  if (LockFileEx(reinterpret_cast<HANDLE>(lockFile),
                 LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    return LockAttempt::kLocked;
  }
  return GetLastError() == ERROR_LOCK_VIOLATION ? LockAttempt::kBusy : LockAttempt::kFailed;
}

void CloseLockFile(std::intptr_t lockFile) {
  const HANDLE file = reinterpret_cast<HANDLE>(lockFile);
  OVERLAPPED at = {};
  UnlockFileEx(file, 0, 1, 0, &at);
  CloseHandle(file);
}

}  // namespace seatenrol
