// What the stored server list needs from the operating system: files that
// reach the disk before they replace another.
#ifndef SEATENROL_PLATFORM_CONFIG_STORE_OS_H
#define SEATENROL_PLATFORM_CONFIG_STORE_OS_H

#include <cstddef>
#include <string>

namespace seatenrol {

// The longest path, terminator included, that the file calls below accept.
std::size_t MaxStorePathSize();

// The value of the environment variable name; false when it is unset or empty.
bool ReadEnvironmentPath(const char* name, std::string& value);

// The separator between a directory and a file name.
char StorePathSeparator();

// A number that no other running process shares, for temporary file names.
unsigned long CurrentProcessNumber();

// Reads at most capacity bytes of path into buffer; size receives the count.
// A file longer than capacity reads as capacity bytes, so callers ask for one
// byte more than they expect to see a file that is too long.
bool ReadSmallFile(const std::string& path, unsigned char* buffer, std::size_t capacity,
                   std::size_t& size);

// Creates path, which must not exist yet, writes size bytes and flushes them
// to the disk. On failure nothing is left behind.
bool WriteNewFileDurably(const std::string& path, const unsigned char* data, std::size_t size);

// Atomically puts from in the place of to (replacing it when present) and
// makes the change itself durable.
bool ReplaceFileDurably(const std::string& from, const std::string& to);

// Removes path; a missing file is not an error worth reporting.
void RemoveFileQuietly(const std::string& path);

}  // namespace seatenrol

#endif
