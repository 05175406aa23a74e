#include "platform/config_store.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/config_store_format.h"
#include "platform/config_store_os.h"
#include "platform/os.h"

namespace seatenrol {

namespace {

constexpr char kStoreFileName[] = "regaddrs.dat";
constexpr char kBackupSuffix[] = ".bak";
constexpr char kStagingSuffix[] = ".tmp";
constexpr char kLockSuffix[] = ".lock";  // the longest suffix
constexpr char kEnvironmentDirectory[] = "SEATENROL_CONFIG_DIR";
constexpr unsigned char kMagic[4] = {'R', 'G', 'A', 'D'};
constexpr std::uint32_t kFormatVersion = 1;
constexpr std::uint32_t kRecordSize = sizeof(ST_REGISTERINFO_LIST);
constexpr std::size_t kEntrySize = sizeof(ST_REGISTERINFO);
// Waits between attempts at a held lock grow from the first to the last.
constexpr int kFirstLockPollMs = 1;
constexpr int kLastLockPollMs = 16;

std::atomic<int> lockWaitForTesting{0};

struct CrcTable {
  std::uint32_t entries[256];
};

constexpr CrcTable MakeCrcTable() {
  CrcTable table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table.entries[n] = c;
  }
  return table;
}

constexpr CrcTable kCrcTable = MakeCrcTable();

void StoreLittleEndian32(std::uint32_t value, unsigned char* out) {
  out[0] = static_cast<unsigned char>(value);
  out[1] = static_cast<unsigned char>(value >> 8);
  out[2] = static_cast<unsigned char>(value >> 16);
  out[3] = static_cast<unsigned char>(value >> 24);
}

std::uint32_t LoadLittleEndian32(const unsigned char* in) {
  return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
         static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

// Two's complement without relying on how the compiler narrows.
int ToSigned32(std::uint32_t value) {
  return value <= 0x7FFFFFFFu ? static_cast<int>(value) : -static_cast<int>(~value) - 1;
}

bool FitsPath(const std::string& path) { return path.size() < MaxStorePathSize(); }

bool StoreDirectory(std::string& directory) {
  return ReadEnvironmentPath(kEnvironmentDirectory, directory) || ExecutableDirectory(directory);
}

enum class StoreFileState { kGood, kMissing, kDamaged };

// Reads and checks one store file; list is untouched unless it is good. A
// file that cannot be read counts as damaged: only one that is not there is
// missing.
StoreFileState LoadStoreFile(const std::string& path, ST_REGISTERINFO_LIST& list) {
  // One byte more than a good file holds, so a longer file shows.
  unsigned char file[kStoreFileSize + 1];
  std::size_t size = 0;
  switch (ReadSmallFile(path, file, sizeof file, size)) {
    case FileReadResult::kMissing:
      return StoreFileState::kMissing;
    case FileReadResult::kFailed:
      return StoreFileState::kDamaged;
    case FileReadResult::kRead:
      break;
  }
  return DecodeStoreFile(file, size, list) ? StoreFileState::kGood : StoreFileState::kDamaged;
}

// Puts file in the place of target through the flushed temporary file, so
// that target holds either its old or its new content at every instant.
bool ReplaceWithFile(const std::string& primary, const std::string& target,
                     const unsigned char* file) {
  if (!StageStoreFile(primary, file)) return false;
  if (ReplaceFileDurably(StagingFilePath(primary), target)) return true;
  RemoveFile(StagingFilePath(primary));
  return false;
}

int LockWaitMs() {
  const int forTesting = lockWaitForTesting.load();
  return forTesting > 0 ? forTesting : kStoreLockWaitMs;
}

// Tries the lock until it is had or the wait is over; polling keeps the wait
// bounded on every system, which a blocking lock call would not.
LockAttempt LockWithin(std::intptr_t lockFile, int waitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  int pollMs = kFirstLockPollMs;
  for (;;) {
    const LockAttempt attempt = TryLockExclusive(lockFile);
    if (attempt != LockAttempt::kBusy) return attempt;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return LockAttempt::kBusy;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        std::chrono::milliseconds(pollMs), deadline - now));
    pollMs = std::min(pollMs * 2, kLastLockPollMs);
  }
}

}  // namespace

std::uint32_t Crc32(const unsigned char* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc = kCrcTable.entries[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
  }
  return crc ^ 0xFFFFFFFFu;
}

// Store file, 5900 bytes, every integer little-endian:
//
// | Offset         | Size | Field                                          |
// |----------------|------|------------------------------------------------|
// | 0              | 4    | magic "RGAD"                                   |
// | 4              | 4    | format version, 1                              |
// | 8              | 4    | record length, 5884                            |
// | 12             | 4    | count, signed, 0 to 20                         |
// | 16 + 294 k     | 256  | entry k: server name, NUL-padded               |
// | 16 + 294 k+256 | 4    | entry k: port, signed                          |
// | 16 + 294 k+260 | 1    | entry k: enrolled flag                         |
// | 16 + 294 k+261 | 32   | entry k: credential                            |
// | 16 + 294 k+293 | 1    | entry k: unused byte, kept as given            |
// | 5896           | 4    | CRC-32 (IEEE) of bytes 0 to 5895               |
//
// All 20 entries are kept, those at k >= count included, so a list reads
// back exactly as it was written.
void EncodeStoreFile(const ST_REGISTERINFO_LIST& list, unsigned char* file) {
  std::memcpy(file, kMagic, sizeof kMagic);
  StoreLittleEndian32(kFormatVersion, file + 4);
  StoreLittleEndian32(kRecordSize, file + 8);
  unsigned char* record = file + kStoreHeaderSize;
  StoreLittleEndian32(static_cast<std::uint32_t>(list.count), record);
  for (int k = 0; k < kMaxRegisterEntries; ++k) {
    const ST_REGISTERINFO& entry = list.entries[k];
    unsigned char* out = record + 4 + kEntrySize * static_cast<std::size_t>(k);
    std::memcpy(out, entry.serverName, sizeof entry.serverName);
    StoreLittleEndian32(static_cast<std::uint32_t>(entry.port), out + 256);
    out[260] = entry.enrolled;
    std::memcpy(out + 261, entry.credential, sizeof entry.credential);
    out[293] = entry.unused;
  }
  const std::size_t checked = kStoreHeaderSize + kRecordSize;
  StoreLittleEndian32(Crc32(file, checked), file + checked);
}

bool DecodeStoreFile(const unsigned char* file, std::size_t size, ST_REGISTERINFO_LIST& list) {
  const std::size_t checked = kStoreHeaderSize + kRecordSize;
  if (size != kStoreFileSize || std::memcmp(file, kMagic, sizeof kMagic) != 0 ||
      LoadLittleEndian32(file + 4) != kFormatVersion ||
      LoadLittleEndian32(file + 8) != kRecordSize ||
      LoadLittleEndian32(file + checked) != Crc32(file, checked)) {
    return false;
  }
  const unsigned char* record = file + kStoreHeaderSize;
  ST_REGISTERINFO_LIST decoded{};
  decoded.count = ToSigned32(LoadLittleEndian32(record));
  if (decoded.count < 0 || decoded.count > kMaxRegisterEntries) return false;
  for (int k = 0; k < kMaxRegisterEntries; ++k) {
    ST_REGISTERINFO& entry = decoded.entries[k];
    const unsigned char* in = record + 4 + kEntrySize * static_cast<std::size_t>(k);
    std::memcpy(entry.serverName, in, sizeof entry.serverName);
    entry.port = ToSigned32(LoadLittleEndian32(in + 256));
    entry.enrolled = in[260];
    std::memcpy(entry.credential, in + 261, sizeof entry.credential);
    entry.unused = in[293];
  }
  list = decoded;
  return true;
}

bool StoreFilePath(std::string& path) {
  std::string directory;
  if (!StoreDirectory(directory)) return false;
  path = directory;
  const char last = path.back();
  if (last != '/' && last != StorePathSeparator()) path += StorePathSeparator();
  path += kStoreFileName;
  return FitsPath(path + kLockSuffix);
}

std::string StagingFilePath(const std::string& primary) { return primary + kStagingSuffix; }

bool StageStoreFile(const std::string& primary, const unsigned char* file) {
  const std::string staging = StagingFilePath(primary);
  // A fresh file each time: one left by a killed writer may be half written,
  // and one left by an older version may carry wider permissions.
  return RemoveFile(staging) && WriteNewFileDurably(staging, file, kStoreFileSize);
}

// Only a damaged primary falls back to the backup, which always holds the
// list the primary held before its last replacement. A missing primary is no
// list at all: writes never leave it missing, so it was removed on purpose.
int ReadStoreFiles(const std::string& primary, ST_REGISTERINFO_LIST& list, int& source) {
  source = CTavConfig::kReadNothing;
  switch (LoadStoreFile(primary, list)) {
    case StoreFileState::kGood:
      source = CTavConfig::kReadPrimary;
      return 1;
    case StoreFileState::kMissing:
      std::memset(&list, 0, sizeof list);
      source = CTavConfig::kReadMissing;
      return 1;
    case StoreFileState::kDamaged:
      break;
  }
  if (LoadStoreFile(primary + kBackupSuffix, list) != StoreFileState::kGood) return 0;
  source = CTavConfig::kReadBackup;
  return 1;
}

void SetStoreLockWaitForTesting(int milliseconds) { lockWaitForTesting.store(milliseconds); }

}  // namespace seatenrol

CTavConfig::CTavConfig()
    : m_lock(seatenrol::kNoLockFile),
      m_lockState(kLockNone),
      m_readSource(kReadNothing),
      m_storePath{} {
  using namespace seatenrol;
  try {
    std::string primary;
    if (!StoreFilePath(primary) || primary.size() >= sizeof m_storePath) return;
    std::memcpy(m_storePath, primary.c_str(), primary.size() + 1);
    m_lock = OpenLockFile(primary + kLockSuffix);
    if (m_lock == kNoLockFile) return;
    const LockAttempt attempt = LockWithin(m_lock, LockWaitMs());
    if (attempt == LockAttempt::kLocked) {
      m_lockState = kLockHeld;
      return;
    }
    m_lockState = attempt == LockAttempt::kBusy ? kLockBusy : kLockNone;
    CloseLockFile(m_lock);
    m_lock = kNoLockFile;
  } catch (...) {
    // Without the lock the object reads but never writes.
  }
}

CTavConfig::~CTavConfig() {
  if (m_lock != seatenrol::kNoLockFile) seatenrol::CloseLockFile(m_lock);
}

int CTavConfig::ReadRegAddrs(ST_REGISTERINFO_LIST& list) try {
  m_readSource = kReadNothing;
  if (m_storePath[0] == '\0') return 0;
  return seatenrol::ReadStoreFiles(m_storePath, list, m_readSource);
} catch (...) {
  m_readSource = kReadNothing;
  return 0;
}

// The current primary, when good, becomes the backup before the primary is
// replaced: each replacement is atomic, so one of the two always holds a
// whole good list. A damaged primary leaves the backup as it is; a missing
// one takes the backup with it, so that the list removed never comes back.
int CTavConfig::WriteRegAddrs(ST_REGISTERINFO_LIST list) try {
  using namespace seatenrol;
  if (m_lockState != kLockHeld || list.count < 0 || list.count > kMaxRegisterEntries) return 0;
  const std::string primary = m_storePath;
  const std::string backup = primary + kBackupSuffix;
  ST_REGISTERINFO_LIST previous{};
  switch (LoadStoreFile(primary, previous)) {
    case StoreFileState::kGood: {
      // A good file encodes back to its very bytes.
      unsigned char current[kStoreFileSize];
      EncodeStoreFile(previous, current);
      if (!ReplaceWithFile(primary, backup, current)) return 0;
      break;
    }
    case StoreFileState::kMissing:
      if (!RemoveFile(backup)) return 0;
      break;
    case StoreFileState::kDamaged:
      break;
  }
  unsigned char file[kStoreFileSize];
  EncodeStoreFile(list, file);
  return ReplaceWithFile(primary, primary, file) ? 1 : 0;
} catch (...) {
  return 0;
}

int CTavConfig::IsLocked() const { return m_lockState == kLockHeld ? 1 : 0; }

int CTavConfig::GetLockState() const { return m_lockState; }

int CTavConfig::GetReadSource() const { return m_readSource; }

const char* CTavConfig::GetStorePath() const { return m_storePath; }
