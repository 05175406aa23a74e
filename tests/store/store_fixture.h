// A private store directory per test, and lists that carry their own seed.
#ifndef SEATENROL_TESTS_STORE_FIXTURE_H
#define SEATENROL_TESTS_STORE_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/config_store.h"
#include "platform/config_store_format.h"
#include "session/server_list.h"

namespace seatenrol {

inline void SetStoreDirectory(const std::string& directory) {
#ifdef _WIN32
  _putenv_s("SEATENROL_CONFIG_DIR", directory.c_str());
#else
  setenv("SEATENROL_CONFIG_DIR", directory.c_str(), 1);
#endif
}

// Every byte follows from seed, and entry 0's port gives seed back, so a
// list read from the store shows whether it is whole.
inline ST_REGISTERINFO_LIST MakeList(int seed) {
  ST_REGISTERINFO_LIST list{};
  list.count = seed % (kMaxRegisterEntries + 1);
  for (int k = 0; k < kMaxRegisterEntries; ++k) {
    ST_REGISTERINFO& entry = list.entries[k];
    const std::string name = "server-" + std::to_string(seed) + "-" + std::to_string(k);
    std::memcpy(entry.serverName, name.c_str(), name.size());
    entry.serverName[255] = static_cast<char>(seed);
    entry.port = seed * 32 + k;
    entry.enrolled = 1;
    for (int i = 0; i < 32; ++i) entry.credential[i] = static_cast<unsigned char>(seed + k + i);
    entry.unused = static_cast<unsigned char>(0xF0 | k);
  }
  return list;
}

// An accepted enrolment's store of name at port, with a credential of fill.
inline StoreResult StoreServer(const char* name, int port, char fill) {
  const std::string credential(32, fill);
  return StoreEnrolment(name, port, reinterpret_cast<const unsigned char*>(credential.data()));
}

inline bool SameList(const ST_REGISTERINFO_LIST& a, const ST_REGISTERINFO_LIST& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

inline std::vector<unsigned char> EncodeList(const ST_REGISTERINFO_LIST& list) {
  std::vector<unsigned char> file(kStoreFileSize);
  EncodeStoreFile(list, file.data());
  return file;
}

class StoreTest : public ::testing::Test {
protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    directory_ = std::filesystem::temp_directory_path() /
                 ("seatenrol-store-" + std::string(info->name()) + "-" +
                  std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
    SetStoreDirectory(directory_.string());
    ASSERT_TRUE(StoreFilePath(primary_));
    config_ = std::make_unique<CTavConfig>();
  }
  void TearDown() override {
    SetStoreLockWaitForTesting(0);
    SetStoreRetryForTesting(0);
    config_.reset();
    if (directory_.empty()) return;  // skipped before SetUp made it
    std::filesystem::permissions(directory_, std::filesystem::perms::owner_all);
    std::filesystem::remove_all(directory_);
  }

  static void WriteRaw(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }

  // The file's bytes; "missing" when there is none, so that a file that
  // appears or goes shows in a comparison.
  static std::string ReadRaw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "missing";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // The primary and the backup, byte for byte.
  std::vector<std::string> StoredFiles() const {
    return {ReadRaw(primary_), ReadRaw(primary_ + ".bak")};
  }

  std::filesystem::path directory_;
  std::string primary_;
  // The test's own object; it holds no lock unless a test opens a section.
  std::unique_ptr<CTavConfig> config_;
};

}  // namespace seatenrol

#endif
