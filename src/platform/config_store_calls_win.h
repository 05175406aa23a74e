// The system calls with which the stored server list opens, reads, creates,
// writes, flushes, renames and removes its files. The store makes them
// through this table so that a test can put a failing stand-in in the place
// of any one of them; otherwise each entry is the system's own call. Tests
// change entries only while no other thread is inside the store.
#ifndef SEATENROL_PLATFORM_CONFIG_STORE_CALLS_WIN_H
#define SEATENROL_PLATFORM_CONFIG_STORE_CALLS_WIN_H

#include <windows.h>

namespace seatenrol {

struct StoreCalls {
  // Every file: list, backup, staging files, lock file.
  HANDLE(WINAPI* createFile)
  (LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
   DWORD flags, HANDLE model);
  BOOL(WINAPI* readFile)(HANDLE file, LPVOID data, DWORD size, LPDWORD got, LPOVERLAPPED at);
  BOOL(WINAPI* writeFile)(HANDLE file, LPCVOID data, DWORD size, LPDWORD put, LPOVERLAPPED at);
  BOOL(WINAPI* flushFileBuffers)(HANDLE file);
  // The rename that replaces a target other programs hold open.
  BOOL(WINAPI* setFileInformationByHandle)
  (HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information, DWORD size);
  // The rename where the one above is refused.
  BOOL(WINAPI* moveFileEx)(LPCWSTR from, LPCWSTR to, DWORD flags);
  BOOL(WINAPI* deleteFile)(LPCWSTR path);
};

namespace system_store_calls {
// Our own functions, whose addresses are constants, unlike those of the
// imported ones.
inline HANDLE WINAPI Create(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                            DWORD disposition, DWORD flags, HANDLE model) {
  return ::CreateFileW(path, access, share, security, disposition, flags, model);
}
inline BOOL WINAPI Read(HANDLE file, LPVOID data, DWORD size, LPDWORD got, LPOVERLAPPED at) {
  return ::ReadFile(file, data, size, got, at);
}
inline BOOL WINAPI Write(HANDLE file, LPCVOID data, DWORD size, LPDWORD put, LPOVERLAPPED at) {
  return ::WriteFile(file, data, size, put, at);
}
inline BOOL WINAPI Flush(HANDLE file) { return ::FlushFileBuffers(file); }
inline BOOL WINAPI SetInformation(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information,
                                  DWORD size) {
  return ::SetFileInformationByHandle(file, kind, information, size);
}
inline BOOL WINAPI Move(LPCWSTR from, LPCWSTR to, DWORD flags) {
  return ::MoveFileExW(from, to, flags);
}
inline BOOL WINAPI Delete(LPCWSTR path) { return ::DeleteFileW(path); }
}  // namespace system_store_calls

// The system's own calls.
constexpr StoreCalls kSystemStoreCalls = {
    system_store_calls::Create, system_store_calls::Read,           system_store_calls::Write,
    system_store_calls::Flush,  system_store_calls::SetInformation, system_store_calls::Move,
    system_store_calls::Delete};

// The table in use.
StoreCalls& StoreSystemCalls();

}  // namespace seatenrol

#endif
