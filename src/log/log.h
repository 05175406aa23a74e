// The terminal log: one timestamped line per message in "terminal_.log"
// beside the host executable, or in the folder the host chose, tagged with
// the seat and the venue; and the debugger output.
#ifndef SEATENROL_LOG_LOG_H
#define SEATENROL_LOG_LOG_H

#include <cstddef>
#include <cstdint>

#include "seatenrol/c_api.h"

namespace seatenrol {

// The file is deleted before a line once it is larger than this.
constexpr std::uint64_t kLogSizeLimit = 1048576;
// A line is at most this many bytes; a longer one is cut, line feed and all.
constexpr std::size_t kLogLineLimit = 1023;
// Room for the log file's path, terminator included.
constexpr std::size_t kLogPathSize = 260;
// The tag holds at most this many characters.
constexpr std::size_t kLogTagLimit = 63;

// Appends one line for message; 1 when written, 0 when message is null or
// the file could not be opened (the line is then lost).
int WriteLog(const char* message);

// Sets the tag that follows the "@" of every later line (null: empty); a
// longer tag keeps its first 63 characters. Always 1.
int SetLogTag(const char* tag);

// Reports the calling thread's last system error as the failure of where,
// with the system's text, to the debugger output and the log; the result of
// WriteLog for the report line.
int ReportApiFailure(const char* where);

// Sends text (code page 936) to the debugger output, to the host's sink and
// to its message callback as UTF-8, as far as it has them.
void DebugOutput(const char* text);

// Installs the host's message callback (fn null: none) in place of the one
// before, which is released after its last call; never waits for it. False,
// with nothing changed, when out of memory.
bool SetMessageCallback(seatenrol_message_fn fn, void* context, seatenrol_release_fn release);

// The log file's path beside executablePath: its directory and
// "terminal_.log", into path. False when the executable path holds no
// directory separator or the result does not fit kLogPathSize bytes.
bool LogPathBeside(const char* executablePath, char (&path)[kLogPathSize]);

// Sends the log into directory (UTF-8) instead of the executable's, from
// the next line on; null restores the executable's directory. Any thread.
// Throws std::bad_alloc when out of memory, leaving the old choice.
void SetLogDirectory(const char* directory);

struct HostSystem;

// Runs the lines' identity over system (null: the running system's), with an
// empty cache. For feeding the log chosen identities.
void SetLogHostSystemForTesting(const HostSystem* system);

}  // namespace seatenrol

#endif
