// The file that holds the stored server list, and the steps of writing it.
#ifndef SEATENROL_PLATFORM_CONFIG_STORE_FORMAT_H
#define SEATENROL_PLATFORM_CONFIG_STORE_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/config_store.h"

namespace seatenrol {

constexpr std::size_t kStoreHeaderSize = 12;
constexpr std::size_t kStoreFileSize = kStoreHeaderSize + sizeof(ST_REGISTERINFO_LIST) + 4;

// CRC-32 with the IEEE polynomial (reflected, as in zip and Ethernet).
std::uint32_t Crc32(const unsigned char* data, std::size_t size);

// Fills file (kStoreFileSize bytes) with list, whatever its count.
void EncodeStoreFile(const ST_REGISTERINFO_LIST& list, unsigned char* file);

// True when the size bytes of file are a whole, intact store file whose
// count is 0 to 20.
bool IsGoodStoreFile(const unsigned char* file, std::size_t size);

// True, with list filled, when the size bytes of file are a whole, intact
// store file whose count is 0 to 20; list is untouched otherwise.
bool DecodeStoreFile(const unsigned char* file, std::size_t size, ST_REGISTERINFO_LIST& list);

// The full name of "regaddrs.dat": in SEATENROL_CONFIG_DIR when it is set,
// else beside the host executable.
bool StoreFilePath(std::string& path);

// The temporary file beside primary that becomes the new list: writers hold
// the lock, so one fixed name serves them all, and a file a killed writer
// left is simply replaced.
std::string StagingFilePath(const std::string& primary);

// The temporary file beside primary that becomes the backup: the list the
// primary held, staged before the primary is replaced.
std::string BackupStagingFilePath(const std::string& primary);

// First step of every replacement: writes file (kStoreFileSize bytes) to the
// temporary file of the new list (StagingFilePath), replacing any left there,
// and flushes it to the device. Reads never look at it, so one left behind by
// a crash changes nothing.
bool StageStoreFile(const std::string& primary, const unsigned char* file);

}  // namespace seatenrol

#endif
