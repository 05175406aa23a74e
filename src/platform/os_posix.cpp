#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/os.h"

namespace seatenrol {

namespace {

// strerror_r comes in two forms, by the C library's choice; both end here.
[[maybe_unused]] const char* ErrorTextOf(int result, const char* buffer) {
  return result == 0 ? buffer : "";
}
[[maybe_unused]] const char* ErrorTextOf(const char* result, const char*) {
  return result == nullptr ? "" : result;
}

// The C library makes up a text ("Unknown error N") for a code it does not
// know; that is no system text, and such a code gets none, as on Windows.
bool HasSystemText(int code) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
  return strerrorname_np(code) != nullptr;
#else
  char buffer[512] = {};
  const char* text = ErrorTextOf(strerror_r(code, buffer, sizeof buffer), buffer);
  constexpr char kMadeUp[] = "Unknown error";
  return *text != '\0' && std::strncmp(text, kMadeUp, sizeof kMadeUp - 1) != 0;
#endif
}

}  // namespace

bool ExecutablePath(std::string& path) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0) return false;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      path.assign(buffer.data(), static_cast<std::size_t>(length));
      return true;
    }
    if (buffer.size() >= 65536) return false;
    buffer.resize(buffer.size() * 2);
  }
}

LocalTime CurrentLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                   parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

bool FileSize(const char* path, std::uint64_t& size) {
  struct stat status {};
  if (stat(path, &status) != 0) return false;
  size = static_cast<std::uint64_t>(status.st_size);
  return true;
}

bool IsDirectory(const char* path) {
  struct stat status {};
  return stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

std::FILE* OpenFileToAppend(const char* path) {
  // Marked close-on-exec as it opens, before another thread can start a program.
  const int descriptor = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (descriptor < 0) return nullptr;
  std::FILE* file = fdopen(descriptor, "ab");
  if (file == nullptr) close(descriptor);
  return file;
}

bool DeleteFileAt(const char* path) { return unlink(path) == 0; }

int LastErrorCode() { return errno; }

void SystemErrorText(int code, char* out, std::size_t size) {
  if (!HasSystemText(code)) {
    out[0] = '\0';
    return;
  }
  char buffer[512] = {};
  const char* text = ErrorTextOf(strerror_r(code, buffer, sizeof buffer), buffer);
  // The system texts of other platforms end in their own line end; so does this one.
  std::snprintf(out, size, "%s\n", text);
}

void SystemDebugOutput(const char* text, bool hostSinkInstalled) {
  if (hostSinkInstalled || std::getenv("SEATENROL_DEBUG") == nullptr) return;
  std::fputs(text, stderr);
  std::fflush(stderr);
}

}  // namespace seatenrol
