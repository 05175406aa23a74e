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
// life of the process. The lock guards the tag, the identity cache and every
// write to the file.
struct LogState {
  std::mutex lock;
  char tag[kLogTagLimit + 1] = {};
  CHostIdentity identity;
};

LogState& Log() {
  static LogState state;
  return state;
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
void WriteLine(LogState& log, std::FILE* file, const char* message) {
  char hostName[256] = {};
  log.identity.GetHostName(reinterpret_cast<unsigned char*>(hostName), sizeof hostName - 1);
  const char* ip = log.identity.GetSystemIP();
  if (ip == nullptr) ip = "";
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
    LogState& log = Log();
    std::lock_guard<std::mutex> hold(log.lock);
    std::uint64_t size = 0;
    if (FileSize(path, size) && size > kLogSizeLimit) {
      DeleteFileAt(path);  // when it cannot go, the line is appended all the same
    }
    std::FILE* file = OpenFileToAppend(path);
    if (file == nullptr) return 0;
    WriteLine(log, file, message);
    std::fclose(file);
    return 1;
  } catch (...) {
    // Only the lock or the path can throw, before anything is written.
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
