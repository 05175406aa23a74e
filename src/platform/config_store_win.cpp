#include <windows.h>

#include <vector>

#include "platform/config_store_os.h"
#include "platform/wide_text_win.h"

namespace seatenrol {

namespace {

// How long a replacement keeps trying while another program holds the
// target open without sharing delete (a reader, a virus scanner, a backup
// tool), and the pause between attempts.
constexpr DWORD kReplaceRetryMs = 2000;
constexpr DWORD kReplacePauseMs = 20;

// Nothing at the path: the file or its directory does not exist, as POSIX
// reports both with ENOENT.
bool IsAbsent(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

// The wide calls take MAX_PATH UTF-16 units without the long-path prefix.
bool StorePathFits(const std::string& path) {
  const std::wstring wide = WidePath(path.c_str());
  return !wide.empty() && wide.size() < MAX_PATH;
}

char StorePathSeparator() { return '\\'; }

bool ReadEnvironmentPath(const char* name, std::string& value) {
  const std::wstring wideName = WidePath(name);
  std::vector<wchar_t> text(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetEnvironmentVariableW(wideName.c_str(), text.data(), static_cast<DWORD>(text.size()));
    if (length == 0) return false;
    // Too long for the buffer: the call reported the size it needs,
    // terminator included.
    if (length < text.size()) return Utf8FromWide(text.data(), length, value);
    if (length > 32768) return false;
    text.resize(length);
  }
}

FileReadResult ReadSmallFile(const std::string& path, unsigned char* buffer, std::size_t capacity,
                             std::size_t& size) {
  size = 0;
  // Sharing delete lets a writer replace the file while it is being read.
  const HANDLE file = CreateFileW(WidePath(path.c_str()).c_str(), GENERIC_READ,
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
  const std::wstring wide = WidePath(path.c_str());
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
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
  DeleteFileW(wide.c_str());
  return false;
}

bool ReplaceFileDurably(const std::string& from, const std::string& to) {
  const std::wstring wideFrom = WidePath(from.c_str());
  const std::wstring wideTo = WidePath(to.c_str());
  const ULONGLONG deadline = GetTickCount64() + kReplaceRetryMs;
  for (;;) {
    if (MoveFileExW(wideFrom.c_str(), wideTo.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
    if (GetTickCount64() >= deadline) return false;
    Sleep(kReplacePauseMs);
  }
}

bool RemoveFile(const std::string& path) {
  return DeleteFileW(WidePath(path.c_str()).c_str()) || IsAbsent(GetLastError());
}

std::intptr_t OpenLockFile(const std::string& path, LockFileAccess access) {
  // A byte-range lock needs read or write access; a reader asks for no more
  // than reading, so it can lock a file it may not change.
  const bool writer = access == LockFileAccess::kWriter;
  const HANDLE file = CreateFileW(
      WidePath(path.c_str()).c_str(), writer ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      writer ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? kNoLockFile : reinterpret_cast<std::intptr_t>(file);
}

// A byte-range lock belongs to the handle, so two handles of one process
// exclude each other as two processes do; the system releases it when the
// handle is closed or the process ends.
LockAttempt TryLock(std::intptr_t lockFile, LockMode mode) {
  OVERLAPPED at = {};
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY |
                      (mode == LockMode::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : DWORD{0});
  if (LockFileEx(reinterpret_cast<HANDLE>(lockFile), flags, 0, 1, 0, &at)) {
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
