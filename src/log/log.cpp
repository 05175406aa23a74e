#include "log/log.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "hostinfo/host_identity.h"
#include "log/messages.h"
#include "platform/chosen_directory.h"
#include "platform/os.h"
#include "platform/system_error.h"

namespace seatenrol {

namespace {

constexpr char kLogFileName[] = "terminal_.log";

// The process-wide state of the log, made on first use and kept for the
// life of the process. The lock guards the tag and every write to the file.
struct LogState {
  std::mutex lock;
  char tag[kLogTagLimit + 1] = {};
};

LogState& Log() {
  static LogState state;
  return state;
}

// The seat's IP text for every line, found once and kept. Its lock guards the
// text alone: the discovery (adapters, registry, name lookup) runs outside
// it and outside the log lock, so no thread queues behind a slow resolver.
struct IdentityCache {
  std::mutex lock;
  char ip[CHostIdentity::kIPTextSize] = {};
  const HostSystem* system = nullptr;  // null: the running system's
};

IdentityCache& Identity() {
  static IdentityCache cache;
  return cache;
}

// The host name and the IP text a line shows; empty where none is found.
// A line whose discovery fails shows no IP, and the next line tries again.
void GatherIdentity(char (&hostName)[256], char (&ip)[CHostIdentity::kIPTextSize]) {
  IdentityCache& cache = Identity();
  const HostSystem* system = nullptr;
  {
    std::lock_guard<std::mutex> hold(cache.lock);
    std::memcpy(ip, cache.ip, sizeof ip);
    system = cache.system;
  }
  const HostSystem& host = system == nullptr ? SystemHost() : *system;
  CHostIdentity identity;
  identity.GetHostName(reinterpret_cast<unsigned char*>(hostName), sizeof hostName - 1, host);
  if (ip[0] != '\0') return;
  const char* found = identity.GetSystemIP(host);
  if (found == nullptr) return;
  std::strncpy(ip, found, sizeof ip - 1);
  std::lock_guard<std::mutex> hold(cache.lock);
  // Another line may have found it meanwhile; the first found stays.
  if (cache.ip[0] == '\0' && cache.system == system) std::memcpy(cache.ip, ip, sizeof ip);
}

bool CurrentLogPath(char (&path)[kLogPathSize]) {
  std::string executable;
  if (ChosenDirectory(ChosenFolder::kLog, executable)) {
    // The folder stands in for the executable's, as if the file were in it.
    if (executable.empty() || (executable.back() != kPathSeparator && executable.back() != '/')) {
      executable += kPathSeparator;
    }
  } else if (!ExecutablePath(executable)) {
    return false;
  }
  return LogPathBeside(executable.c_str(), path);
}

// Appends one line to the open file; runs under the log lock.
void WriteLine(LogState& log, std::FILE* file, const char* hostName, const char* ip,
               const char* message) {
  const LocalTime now = CurrentLocalTime();
  char line[kLogLineLimit + 1] = {};
  std::snprintf(line, sizeof line, messages::kLogLineFormat, ip, hostName, log.tag, now.year,
                now.month, now.day, now.hour, now.minute, now.second, message);
  std::fwrite(line, 1, std::strlen(line), file);
}

}  // namespace

bool LogPathBeside(const char* executablePath, char (&path)[kLogPathSize]) {
  if (executablePath == nullptr) return false;
  const char* separator = std::strrchr(executablePath, kPathSeparator);
  if (separator == nullptr) return false;
  const std::size_t directory = static_cast<std::size_t>(separator - executablePath) + 1;
  if (directory + sizeof kLogFileName > kLogPathSize) return false;
  std::memcpy(path, executablePath, directory);
  std::memcpy(path + directory, kLogFileName, sizeof kLogFileName);
  return true;
}

void SetLogDirectory(const char* directory) { SetChosenDirectory(ChosenFolder::kLog, directory); }

void SetLogHostSystemForTesting(const HostSystem* system) {
  IdentityCache& cache = Identity();
  std::lock_guard<std::mutex> hold(cache.lock);
  cache.system = system;
  std::memset(cache.ip, 0, sizeof cache.ip);
}

int SetLogTag(const char* tag) {
  try {
    LogState& log = Log();
    std::lock_guard<std::mutex> hold(log.lock);
    // Fixed-width copy: a longer tag is cut, and the last byte stays the terminator.
    std::strncpy(log.tag, tag == nullptr ? "" : tag, kLogTagLimit);
    log.tag[kLogTagLimit] = '\0';
  } catch (...) {
    // A lock that cannot be taken leaves the old tag in place.
  }
  return 1;
}

int WriteLog(const char* message) {
  if (message == nullptr) return 0;
  // A line tells of a failure; finding the seat's address for it must not
  // replace the system's reason for that failure.
  const SystemErrorKept kept;
  try {
    char path[kLogPathSize] = {};
    if (!CurrentLogPath(path)) return 0;
    char hostName[256] = {};
    char ip[CHostIdentity::kIPTextSize] = {};
    GatherIdentity(hostName, ip);
    LogState& log = Log();
    std::lock_guard<std::mutex> hold(log.lock);
    std::uint64_t size = 0;
    if (FileSize(path, size) && size > kLogSizeLimit) {
      DeleteFileAt(path);  // when it cannot go, the line is appended all the same
    }
    std::FILE* file = OpenFileToAppend(path);
    if (file == nullptr) return 0;
    WriteLine(log, file, hostName, ip, message);
    std::fclose(file);
    return 1;
  } catch (...) {
    // Only a lock, the path or the discovery can throw, before anything is written.
    return 0;
  }
}

int ReportApiFailure(const char* where) {
  // Read first: any later call may change it.
  const int code = LastErrorCode();
  char systemText[kLogLineLimit + 1] = {};
  SystemErrorText(code, systemText, sizeof systemText);
  char report[kLogLineLimit + 1] = {};
  // A longer report is cut to the buffer; its length is of no further use.
  const int length = std::snprintf(report, sizeof report, messages::kApiFailureFormat,
                                   where == nullptr ? "" : where, code, systemText);
  static_cast<void>(length);
  report[kLogLineLimit] = '\0';
  DebugOutput(report);
  return WriteLog(report);
}

}  // namespace seatenrol
