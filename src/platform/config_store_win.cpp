#include <windows.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/config_store_calls_win.h"
#include "platform/config_store_os.h"
#include "platform/system_error.h"
#include "platform/wide_text_win.h"

namespace seatenrol {

namespace {

// Constant-initialised: in place before any constructor of the host runs.
StoreCalls calls = kSystemStoreCalls;

// The pause between attempts at a replacement another program blocks.
constexpr DWORD kReplacePauseMs = 20;

// SetFileInformationByHandle's rename with flags (Windows 10 1709 and
// later), spelled out here: older SDK headers lack it, and the layout of
// FILE_RENAME_INFO they declare depends on _WIN32_WINNT. The union of
// BOOLEAN ReplaceIfExists and DWORD Flags comes first, so Flags is a DWORD
// at offset 0 and the handle follows at its own alignment.
constexpr FILE_INFO_BY_HANDLE_CLASS kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
constexpr DWORD kRenameReplaceIfExists = 0x1;  // FILE_RENAME_FLAG_REPLACE_IF_EXISTS
constexpr DWORD kRenamePosixSemantics = 0x2;   // FILE_RENAME_FLAG_POSIX_SEMANTICS

struct RenameInfoEx {
  DWORD flags;
  HANDLE rootDirectory;  // NULL: the name is a full path
  DWORD fileNameLength;  // in bytes, without the terminator
  WCHAR fileName[1];
};

// Nothing at the path: the file or its directory does not exist, as POSIX
// reports both with ENOENT.
bool IsAbsent(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Another program's handle stands in the way (a reader, a virus scanner, a
// backup tool): worth another attempt.
bool IsBusy(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
         error == ERROR_LOCK_VIOLATION;
}

// The answers of a system or file system that lacks the rename with flags:
// an information class or flag it does not know. Wine 8 answers
// ERROR_INVALID_PARAMETER.
bool IsRefused(DWORD error) {
  return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
         error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED ||
         error == ERROR_INVALID_LEVEL;
}

// Records the calling thread's last error as the reason and returns it.
DWORD RecordLastError() {
  const DWORD error = GetLastError();
  RecordSystemError(static_cast<int>(error));
  return error;
}

// A security descriptor whose DACL grants full control to the user of the
// process's token, SYSTEM and Administrators, and nothing to anyone else.
// It is protected: nothing of the folder's inheritable entries is added to
// a file created with it, then or later.
class OwnerOnlySecurity {
public:
  OwnerOnlySecurity() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
      RecordLastError();
      return;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user_.resize(size == 0 ? sizeof(TOKEN_USER) : size);
    const bool haveUser = GetTokenInformation(token, TokenUser, user_.data(),
                                              static_cast<DWORD>(user_.size()), &size) != 0;
    if (!haveUser) RecordLastError();
    CloseHandle(token);
    if (!haveUser) return;
    DWORD systemSize = sizeof system_;
    DWORD adminsSize = sizeof admins_;
    if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, system_, &systemSize) ||
        !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins_, &adminsSize)) {
      RecordLastError();
      return;
    }
    PSID user = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    // A process running as SYSTEM or as Administrators needs no second entry.
    std::vector<PSID> sids{user};
    for (PSID sid : {static_cast<PSID>(system_), static_cast<PSID>(admins_)}) {
      if (!EqualSid(sid, user)) sids.push_back(sid);
    }
    DWORD aclSize = sizeof(ACL);
    for (PSID sid : sids) {
      aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
    }
    acl_.resize(aclSize);
    PACL acl = reinterpret_cast<PACL>(acl_.data());
    if (!InitializeAcl(acl, aclSize, ACL_REVISION)) {
      RecordLastError();
      return;
    }
    for (PSID sid : sids) {
      if (!AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid)) {
        RecordLastError();
        return;
      }
    }
    if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
      RecordLastError();
      return;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    ready_ = true;
  }

  // nullptr when the descriptor could not be built (the reason recorded).
  SECURITY_ATTRIBUTES* Attributes() { return ready_ ? &attributes_ : nullptr; }

private:
  std::vector<unsigned char> user_;
  alignas(DWORD) unsigned char system_[SECURITY_MAX_SID_SIZE] = {};
  alignas(DWORD) unsigned char admins_[SECURITY_MAX_SID_SIZE] = {};
  std::vector<unsigned char> acl_;
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
  bool ready_ = false;
};

// Renames from over to with POSIX semantics: the target goes even while
// other programs hold it open, provided each of them shares delete (a
// handle that does not still blocks it), and their handles stay valid on
// the replaced file. ERROR_SUCCESS or the system's code.
DWORD RenameOverOpenTarget(const std::wstring& from, const std::wstring& to) {
  // The request is built before the file is opened: an allocation that
  // throws must not leave the handle open, or the staged file lingers,
  // pending deletion, and no later write can create it again.
  const std::size_t nameBytes = to.size() * sizeof(WCHAR);
  std::vector<unsigned char> buffer(offsetof(RenameInfoEx, fileName) + nameBytes + sizeof(WCHAR));
  RenameInfoEx* info = reinterpret_cast<RenameInfoEx*>(buffer.data());
  info->flags = kRenameReplaceIfExists | kRenamePosixSemantics;
  info->rootDirectory = nullptr;
  info->fileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(info->fileName, to.c_str(), nameBytes + sizeof(WCHAR));
  const HANDLE file = calls.createFile(from.c_str(), DELETE | SYNCHRONIZE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  const bool renamed = calls.setFileInformationByHandle(file, kFileRenameInfoEx, info,
                                                        static_cast<DWORD>(buffer.size())) != 0;
  const DWORD error = renamed ? ERROR_SUCCESS : GetLastError();
  CloseHandle(file);
  return error;
}

// One attempt at the replacement: the rename above, or where the system
// refuses it, MoveFileExW. Under wine 8 MoveFileExW fails with
// ERROR_ACCESS_DENIED while any handle to the target is open, whatever it
// shares (the tests hold the list open to show it); the same failure is
// reported of Windows 10, which we have not run here. No
// MOVEFILE_WRITE_THROUGH: Microsoft documents it as flushing a move made as
// a copy and a delete, which a rename beside the target never is.
DWORD RenameOnce(const std::wstring& from, const std::wstring& to) {
  const DWORD error = RenameOverOpenTarget(from, to);
  if (!IsRefused(error)) return error;
  if (calls.moveFileEx(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return ERROR_SUCCESS;
  return GetLastError();
}

}  // namespace

StoreCalls& StoreSystemCalls() { return calls; }

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
  // Sharing write and delete keeps this read out of a writer's way: a rename
  // with POSIX semantics replaces the file while it is open here, and
  // MoveFileExW, which cannot, tries again until it is closed.
  const HANDLE file = calls.createFile(WidePath(path.c_str()).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (IsAbsent(error)) return FileReadResult::kMissing;
    RecordSystemError(static_cast<int>(error));
    return FileReadResult::kFailed;
  }
  bool ok = true;
  while (size < capacity) {
    const std::size_t wanted = capacity - size;
    const DWORD chunk = wanted > 0x10000 ? 0x10000 : static_cast<DWORD>(wanted);
    DWORD got = 0;
    if (!calls.readFile(file, buffer + size, chunk, &got, nullptr)) {
      RecordLastError();
      ok = false;
    }
    if (!ok || got == 0) break;
    size += got;
  }
  CloseHandle(file);
  return ok ? FileReadResult::kRead : FileReadResult::kFailed;
}

bool WriteNewFileDurably(const std::string& path, const unsigned char* data, std::size_t size) {
  OwnerOnlySecurity security;
  if (security.Attributes() == nullptr) return false;
  const std::wstring wide = WidePath(path.c_str());
  const HANDLE file = calls.createFile(wide.c_str(), GENERIC_WRITE, 0, security.Attributes(),
                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    RecordLastError();
    return false;
  }
  std::size_t done = 0;
  while (done < size) {
    const std::size_t wanted = size - done;
    const DWORD chunk = wanted > 0x10000 ? 0x10000 : static_cast<DWORD>(wanted);
    DWORD put = 0;
    if (!calls.writeFile(file, data + done, chunk, &put, nullptr)) {
      RecordLastError();
      break;
    }
    if (put == 0) {
      RecordSystemError(ERROR_DISK_FULL);
      break;
    }
    done += put;
  }
  // FlushFileBuffers writes the file's buffered data to the device before
  // the file replaces another.
  const bool flushed = done == size && calls.flushFileBuffers(file);
  if (done == size && !flushed) RecordLastError();
  const bool closed = CloseHandle(file) != 0;
  if (flushed && !closed) RecordLastError();
  if (flushed && closed) return true;
  DeleteFileW(wide.c_str());
  return false;
}

// Windows offers an ordinary program no flush of a directory
// (FlushFileBuffers on a volume needs administrative rights), so the rename
// is as durable as the file system makes it.
bool ReplaceFileDurably(const std::string& from, const std::string& to) {
  const std::wstring wideFrom = WidePath(from.c_str());
  const std::wstring wideTo = WidePath(to.c_str());
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(StoreRetryMs());
  for (bool retried = false;; retried = true) {
    const DWORD error = RenameOnce(wideFrom, wideTo);
    if (error == ERROR_SUCCESS) {
      // The handle that was waited out ended nothing.
      if (retried) RecordSystemError(0);
      return true;
    }
    if (!IsBusy(error) || GetTickCount64() >= deadline) {
      RecordSystemError(static_cast<int>(error));
      return false;
    }
    Sleep(kReplacePauseMs);
  }
}

bool RemoveFile(const std::string& path) {
  if (calls.deleteFile(WidePath(path.c_str()).c_str())) return true;
  const DWORD error = GetLastError();
  if (IsAbsent(error)) return true;
  RecordSystemError(static_cast<int>(error));
  return false;
}

std::intptr_t OpenLockFile(const std::string& path, LockFileAccess access) {
  // A byte-range lock needs read or write access; a reader asks for no more
  // than reading, so it can lock a file it may not change.
  const bool writer = access == LockFileAccess::kWriter;
  const HANDLE file = calls.createFile(
      WidePath(path.c_str()).c_str(), writer ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      writer ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    // A reader goes on without the lock file: its failure ends nothing.
    if (writer) RecordLastError();
    return kNoLockFile;
  }
  return reinterpret_cast<std::intptr_t>(file);
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
  const DWORD error = GetLastError();
  if (error == ERROR_LOCK_VIOLATION) return LockAttempt::kBusy;
  // A reader goes on without the lock; a writer stops here.
  if (mode == LockMode::kExclusive) RecordSystemError(static_cast<int>(error));
  return LockAttempt::kFailed;
}

void CloseLockFile(std::intptr_t lockFile) {
  const HANDLE file = reinterpret_cast<HANDLE>(lockFile);
  OVERLAPPED at = {};
  UnlockFileEx(file, 0, 1, 0, &at);
  CloseHandle(file);
}

}  // namespace seatenrol
