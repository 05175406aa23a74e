// The few services of the operating system the terminal log needs.
#ifndef SEATENROL_PLATFORM_OS_H
#define SEATENROL_PLATFORM_OS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace seatenrol {

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// Paths are UTF-8 on every system; on Windows the calls below go through the
// system's wide-character functions, so any folder name works.

// The full path of the host process's executable (not of this library);
// false when the system does not tell it.
bool ExecutablePath(std::string& path);

// The directory of that executable, without a trailing separator (the root
// keeps its own); false when the system does not tell the path.
bool ExecutableDirectory(std::string& directory);

struct LocalTime {
  int year;
  int month;  // 1-12
  int day;    // 1-31
  int hour;   // 0-23
  int minute;
  int second;
};

LocalTime CurrentLocalTime();

// The size of the file at path; false when its status cannot be read.
bool FileSize(const char* path, std::uint64_t& size);

// Opens path for appending bytes, creating it when missing; null when it
// cannot be opened. The file is not inherited by programs the host process
// starts: on Windows a child holding it would keep it from being deleted.
std::FILE* OpenFileToAppend(const char* path);

// Whether path names an existing directory.
bool IsDirectory(const char* path);

// Deletes the file at path; false when it could not be deleted.
bool DeleteFileAt(const char* path);

// The calling thread's last system error code.
int LastErrorCode();

// The system's text for code, cut to fit out (size > 0) and always
// terminated; empty when the system has none (a made-up "Unknown error N"
// counts as none). A text ends in the system's own line end.
void SystemErrorText(int code, char* out, std::size_t size);

// Hands text to the system's debugger output. On systems without one it goes
// to standard error when SEATENROL_DEBUG is set and the host has no sink of
// its own installed.
void SystemDebugOutput(const char* text, bool hostSinkInstalled);

}  // namespace seatenrol

#endif
