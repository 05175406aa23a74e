#include "platform/config_store.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/call_limits.h"
#include "platform/chosen_directory.h"
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

// The host's choice first, then the environment's, then the executable's folder.
bool StoreDirectory(std::string& directory) {
  return ChosenDirectory(ChosenFolder::kStore, directory) ||
         ReadEnvironmentPath(kEnvironmentDirectory, directory) || ExecutableDirectory(directory);
}

enum class StoreFileState { kGood, kMissing, kDamaged };

// The bytes of one store file, with room for one byte more than a good file
// holds so that a longer file shows. On the heap: the enrolment that writes
// the list runs on the host's stack, which may be small.
using FileBytes = std::vector<unsigned char>;

FileBytes NewFileBytes() { return FileBytes(kStoreFileSize + 1); }

// Reads one store file into file and checks it. A file that cannot be read
// counts as damaged: only one that is not there is missing.
StoreFileState ReadStoreFile(const std::string& path, FileBytes& file) {
  std::size_t size = 0;
  switch (ReadSmallFile(path, file.data(), file.size(), size)) {
    case FileReadResult::kMissing:
      return StoreFileState::kMissing;
    case FileReadResult::kFailed:
      return StoreFileState::kDamaged;
    case FileReadResult::kRead:
      break;
  }
  return IsGoodStoreFile(file.data(), size) ? StoreFileState::kGood : StoreFileState::kDamaged;
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

// The current primary, when good, becomes the backup before the primary is
// replaced: each replacement is atomic, so one of the two always holds a
// whole good list. A damaged primary leaves the backup as it is; a missing
// one takes the backup with it, so that the list removed never comes back.
bool WriteStoreFiles(const std::string& primary, const ST_REGISTERINFO_LIST& list) {
  const std::string backup = primary + kBackupSuffix;
  FileBytes file = NewFileBytes();
  switch (ReadStoreFile(primary, file)) {
    case StoreFileState::kGood:
      if (!ReplaceWithFile(primary, backup, file.data())) return false;
      break;
    case StoreFileState::kMissing:
      if (!RemoveFile(backup)) return false;
      break;
    case StoreFileState::kDamaged:
      break;
  }
  EncodeStoreFile(list, file.data());
  return ReplaceWithFile(primary, primary, file.data());
}

int LockWaitMs() {
  const int forTesting = lockWaitForTesting.load();
  return forTesting > 0 ? forTesting : kStoreLockWaitMs;
}

// Tries the lock until it is had or the wait is over; polling keeps the wait
// bounded on every system, which a blocking lock call would not. Inside a
// limited call a cancel or the call's deadline ends the wait as busy too,
// after one attempt at least; the caller tells them apart by the limits.
LockAttempt LockWithin(std::intptr_t lockFile, LockMode mode, int waitMs) {
  const auto deadline =
      LimitedEnd(std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs));
  int pollMs = kFirstLockPollMs;
  for (;;) {
    const LockAttempt attempt = TryLock(lockFile, mode);
    if (attempt != LockAttempt::kBusy) return attempt;
    if (CurrentLimitHit() != LimitHit::kNone) return LockAttempt::kBusy;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return LockAttempt::kBusy;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        std::chrono::milliseconds(pollMs), deadline - now));
    pollMs = std::min(pollMs * 2, kLastLockPollMs);
  }
}

// The lock one read or one write takes for itself, unless its object has
// a section open, which holds the lock already. Granted: the step may go on.
class StepLock {
public:
  StepLock(const CTavConfig& config, const std::string& primary, LockMode mode) {
    if (config.IsLocked()) return;
    const bool reader = mode == LockMode::kShared;
    file_ = OpenLockFile(primary + kLockSuffix,
                         reader ? LockFileAccess::kReader : LockFileAccess::kWriter);
    // A reader goes ahead without a lock file it may not open (a directory
    // the host cannot write to) or lock (a file system without locks): the
    // files are only ever replaced whole. It waits only for a writer.
    if (file_ == kNoLockFile) {
      granted_ = reader;
      return;
    }
    const LockAttempt attempt = LockWithin(file_, mode, LockWaitMs());
    granted_ = attempt == LockAttempt::kLocked || (reader && attempt == LockAttempt::kFailed);
  }
  ~StepLock() {
    if (file_ != kNoLockFile) CloseLockFile(file_);
  }
  StepLock(const StepLock&) = delete;
  StepLock& operator=(const StepLock&) = delete;

  bool Granted() const { return granted_; }

private:
  std::intptr_t file_ = kNoLockFile;
  bool granted_ = true;
};

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

bool IsGoodStoreFile(const unsigned char* file, std::size_t size) {
  const std::size_t checked = kStoreHeaderSize + kRecordSize;
  if (size != kStoreFileSize || std::memcmp(file, kMagic, sizeof kMagic) != 0 ||
      LoadLittleEndian32(file + 4) != kFormatVersion ||
      LoadLittleEndian32(file + 8) != kRecordSize ||
      LoadLittleEndian32(file + checked) != Crc32(file, checked)) {
    return false;
  }
  const int count = ToSigned32(LoadLittleEndian32(file + kStoreHeaderSize));
  return count >= 0 && count <= kMaxRegisterEntries;
}

bool DecodeStoreFile(const unsigned char* file, std::size_t size, ST_REGISTERINFO_LIST& list) {
  // Checked whole first, so that list is filled in place, without a copy.
  if (!IsGoodStoreFile(file, size)) return false;
  const unsigned char* record = file + kStoreHeaderSize;
  list.count = ToSigned32(LoadLittleEndian32(record));
  for (int k = 0; k < kMaxRegisterEntries; ++k) {
    ST_REGISTERINFO& entry = list.entries[k];
    const unsigned char* in = record + 4 + kEntrySize * static_cast<std::size_t>(k);
    std::memcpy(entry.serverName, in, sizeof entry.serverName);
    entry.port = ToSigned32(LoadLittleEndian32(in + 256));
    entry.enrolled = in[260];
    std::memcpy(entry.credential, in + 261, sizeof entry.credential);
    entry.unused = in[293];
  }
  return true;
}

bool StoreFilePath(std::string& path) {
  std::string directory;
  if (!StoreDirectory(directory)) return false;
  path = directory;
  const char last = path.back();
  if (last != '/' && last != StorePathSeparator()) path += StorePathSeparator();
  path += kStoreFileName;
  return StorePathFits(path + kLockSuffix);
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
  FileBytes file = NewFileBytes();
  switch (ReadStoreFile(primary, file)) {
    case StoreFileState::kGood:
      DecodeStoreFile(file.data(), kStoreFileSize, list);
      source = CTavConfig::kReadPrimary;
      return 1;
    case StoreFileState::kMissing:
      std::memset(&list, 0, sizeof list);
      source = CTavConfig::kReadMissing;
      return 1;
    case StoreFileState::kDamaged:
      break;
  }
  if (ReadStoreFile(primary + kBackupSuffix, file) != StoreFileState::kGood) return 0;
  DecodeStoreFile(file.data(), kStoreFileSize, list);
  source = CTavConfig::kReadBackup;
  return 1;
}

// Lets the library's own sections at the object's lock.
struct StoreAccess {
  static std::intptr_t& Lock(CTavConfig& config) { return config.m_lock; }
  static int& LockState(CTavConfig& config) { return config.m_lockState; }
};

int OpenStoreSection(CTavConfig& config) {
  std::intptr_t& lock = StoreAccess::Lock(config);
  int& state = StoreAccess::LockState(config);
  if (lock != kNoLockFile) return state;
  state = CTavConfig::kLockNone;
  const char* primary = config.GetStorePath();
  if (*primary == '\0') return state;
  try {
    const std::intptr_t file =
        OpenLockFile(std::string(primary) + kLockSuffix, LockFileAccess::kWriter);
    if (file == kNoLockFile) return state;
    switch (LockWithin(file, LockMode::kExclusive, LockWaitMs())) {
      case LockAttempt::kLocked:
        lock = file;
        state = CTavConfig::kLockHeld;
        return state;
      case LockAttempt::kBusy:
        state = CTavConfig::kLockBusy;
        break;
      case LockAttempt::kFailed:
        break;
    }
    CloseLockFile(file);
  } catch (...) {
    // Only the path's copy can throw, before anything was opened.
  }
  return state;
}

void CloseStoreSection(CTavConfig& config) {
  std::intptr_t& lock = StoreAccess::Lock(config);
  if (lock != kNoLockFile) CloseLockFile(lock);
  lock = kNoLockFile;
  StoreAccess::LockState(config) = CTavConfig::kLockNone;
}

int WriteStoreList(CTavConfig& config, const ST_REGISTERINFO_LIST& list) {
  if (list.count < 0 || list.count > kMaxRegisterEntries) return 0;
  const char* primary = config.GetStorePath();
  if (*primary == '\0') return 0;
  try {
    const std::string path = primary;
    const StepLock lock(config, path, LockMode::kExclusive);
    return lock.Granted() && WriteStoreFiles(path, list) ? 1 : 0;
  } catch (...) {
    // Out of memory for a path or the file's bytes; nothing was replaced.
    return 0;
  }
}

void SetStoreLockWaitForTesting(int milliseconds) { lockWaitForTesting.store(milliseconds); }

}  // namespace seatenrol

// The object only finds the path: locks are taken by each read and each
// write, or by a section the library opens.
CTavConfig::CTavConfig()
    : m_lock(seatenrol::kNoLockFile),
      m_lockState(kLockNone),
      m_readSource(kReadNothing),
      m_storePath{} {
  try {
    std::string primary;
    if (!seatenrol::StoreFilePath(primary) || primary.size() >= sizeof m_storePath) return;
    std::memcpy(m_storePath, primary.c_str(), primary.size() + 1);
  } catch (...) {
    // Without a path the object neither reads nor writes.
  }
}

CTavConfig::~CTavConfig() { seatenrol::CloseStoreSection(*this); }

int CTavConfig::ReadRegAddrs(ST_REGISTERINFO_LIST& list) try {
  using namespace seatenrol;
  m_readSource = kReadNothing;
  if (m_storePath[0] == '\0') return 0;
  const std::string primary = m_storePath;
  const StepLock lock(*this, primary, LockMode::kShared);
  if (!lock.Granted()) return 0;
  return ReadStoreFiles(primary, list, m_readSource);
} catch (...) {
  m_readSource = kReadNothing;
  return 0;
}

// Passes the list on by reference: the caller's copy is all the stack it takes.
int CTavConfig::WriteRegAddrs(ST_REGISTERINFO_LIST list) {
  return seatenrol::WriteStoreList(*this, list);
}

int CTavConfig::IsLocked() const { return m_lockState == kLockHeld ? 1 : 0; }

int CTavConfig::GetLockState() const { return m_lockState; }

int CTavConfig::GetReadSource() const { return m_readSource; }

const char* CTavConfig::GetStorePath() const { return m_storePath; }
