// The stored server list reader over any file contents. The input decides
// which of "regaddrs.dat" and its backup exist and what they hold; a flag
// per file frames its bytes with a good header and checksum, so the fuzzer
// also reaches the record inside. ReadRegAddrs must never crash, never
// report success with a count outside 0..20, read no list exactly when the
// primary is missing and take a list from the backup only when there is one;
// a list it accepts must write and read back unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "platform/config_store.h"
#include "platform/config_store_format.h"

#ifdef _WIN32
#include <direct.h>
#else
#include <unistd.h>
#endif

namespace {

using seatenrol::fuzz::InputReader;
using seatenrol::fuzz::Require;

constexpr char kPrimaryName[] = "regaddrs.dat";
constexpr char kBackupName[] = "regaddrs.dat.bak";
constexpr char kLockName[] = "regaddrs.dat.lock";
constexpr char kStagingName[] = "regaddrs.dat.tmp";
constexpr std::size_t kMaxFileSize = seatenrol::kStoreFileSize + 64;

// A private directory for the run, named to SEATENROL_CONFIG_DIR once and
// removed with what is left in it when the run ends.
class ScratchDirectory {
public:
  ScratchDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string root = base != nullptr && *base != '\0' ? base : "/tmp";
#ifndef _WIN32
    // Memory-backed when the system has it: the store flushes every write.
    if (base == nullptr && access("/dev/shm", W_OK) == 0) root = "/dev/shm";
    std::string pattern = root + "/seatenrol-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    Require(mkdtemp(name.data()) != nullptr, "scratch directory");
    m_path = name.data();
    setenv("SEATENROL_CONFIG_DIR", m_path.c_str(), 1);
#else
    m_path = root + "\\seatenrol-fuzz-" + std::to_string(std::rand());
    Require(_mkdir(m_path.c_str()) == 0, "scratch directory");
    _putenv_s("SEATENROL_CONFIG_DIR", m_path.c_str());
#endif
  }

  ~ScratchDirectory() {
    Clear();
    std::remove(File(kLockName).c_str());
    std::remove(File(kStagingName).c_str());
#ifndef _WIN32
    rmdir(m_path.c_str());
#else
    _rmdir(m_path.c_str());
#endif
  }

  std::string File(const char* name) const { return m_path + "/" + name; }

  void Clear() const {
    std::remove(File(kPrimaryName).c_str());
    std::remove(File(kBackupName).c_str());
  }

private:
  std::string m_path;
};

void StoreLittleEndian(std::uint32_t value, unsigned char* out) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The file's bytes: raw input, or the input as the record inside a good
// frame (magic, version, record length, checksum).
std::vector<unsigned char> FileFrom(InputReader& input, bool framed) {
  const std::size_t wanted = input.Uint16() % (kMaxFileSize + 1);
  std::vector<unsigned char> bytes(wanted);
  bytes.resize(input.Bytes(bytes.data(), wanted));
  if (!framed) return bytes;
  const std::size_t record = sizeof(ST_REGISTERINFO_LIST);
  std::vector<unsigned char> file(seatenrol::kStoreFileSize, 0);
  std::memcpy(file.data(), "RGAD", 4);
  StoreLittleEndian(1, file.data() + 4);
  StoreLittleEndian(static_cast<std::uint32_t>(record), file.data() + 8);
  if (!bytes.empty()) {
    std::memcpy(file.data() + seatenrol::kStoreHeaderSize, bytes.data(),
                bytes.size() < record ? bytes.size() : record);
  }
  const std::size_t checked = seatenrol::kStoreHeaderSize + record;
  StoreLittleEndian(seatenrol::Crc32(file.data(), checked), file.data() + checked);
  return file;
}

void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  Require(f != nullptr, "scratch file opens");
  Require(bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(),
          "scratch file written");
  Require(std::fclose(f) == 0, "scratch file closed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ScratchDirectory scratch;
  scratch.Clear();

  InputReader input(data, size);
  const std::uint8_t layout = input.Byte();
  if (layout & 1) WriteFile(scratch.File(kPrimaryName), FileFrom(input, (layout & 4) != 0));
  if (layout & 2) WriteFile(scratch.File(kBackupName), FileFrom(input, (layout & 8) != 0));

  CTavConfig config;
  Require(config.IsLocked() == 0, "a host's object holds no lock");
  ST_REGISTERINFO_LIST list;
  std::memset(&list, 0, sizeof list);
  const int read = config.ReadRegAddrs(list);
  Require(read == 0 || read == 1, "the read reports 1 or 0");
  const int source = config.GetReadSource();
  if (read != 1) {
    Require(source == CTavConfig::kReadNothing, "a failed read found nothing");
    return 0;
  }
  Require(list.count >= 0 && list.count <= seatenrol::kMaxRegisterEntries,
          "a good read has a count of 0 to 20");
  // Only a missing primary is no list; a damaged one never reads as empty
  // unless its backup is a stored empty list.
  Require((source == CTavConfig::kReadMissing) == ((layout & 1) == 0),
          "no list exactly when the primary is missing");
  Require(source != CTavConfig::kReadBackup || (layout & 2) != 0,
          "a list from the backup only when there is one");

  // What was accepted is stored again and reads back byte for byte.
  Require(config.WriteRegAddrs(list) == 1, "an accepted list can be written");
  ST_REGISTERINFO_LIST again;
  std::memset(&again, 0xEE, sizeof again);
  Require(config.ReadRegAddrs(again) == 1, "a written list reads back");
  Require(std::memcmp(&again, &list, sizeof list) == 0, "the list reads back unchanged");
  return 0;
}
