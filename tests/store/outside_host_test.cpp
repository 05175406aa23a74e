// A host program that reads the stored server list through the shipped
// library: this file sees seatenrol/config.h and nothing internal, and links
// only the shared library's exports.
#include <seatenrol/config.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

class OutsideHost : public ::testing::Test {
protected:
  void SetUp() override {
    directory_ =
        std::filesystem::temp_directory_path() /
        ("seatenrol-host-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
#ifdef _WIN32
    _putenv_s("SEATENROL_CONFIG_DIR", directory_.string().c_str());
#else
    setenv("SEATENROL_CONFIG_DIR", directory_.string().c_str(), 1);
#endif
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  std::filesystem::path directory_;
};

TEST_F(OutsideHost, ReadsTheStoredServersAndTheirCredentials) {
  ST_REGISTERINFO_LIST written;
  std::memset(&written, 0, sizeof written);
  written.count = 2;
  const char* names[] = {"mgmt.example.net", "10.0.0.7"};
  for (int k = 0; k < 2; ++k) {
    std::strcpy(written.entries[k].serverName, names[k]);
    written.entries[k].port = 9000 + k;
    written.entries[k].enrolled = 1;
    for (int i = 0; i < 32; ++i)
      written.entries[k].credential[i] = static_cast<unsigned char>(k * 32 + i);
  }
  {
    CTavConfig config;
    EXPECT_EQ(config.IsLocked(), 0) << "a host's object holds no lock";
    ST_REGISTERINFO_LIST none;
    ASSERT_EQ(config.ReadRegAddrs(none), 1);
    EXPECT_EQ(none.count, 0);
    EXPECT_EQ(config.GetReadSource(), CTavConfig::kReadMissing);
    ASSERT_EQ(config.WriteRegAddrs(written), 1);
  }

  CTavConfig config;
  EXPECT_EQ(std::filesystem::path(config.GetStorePath()), directory_ / "regaddrs.dat");
  ST_REGISTERINFO_LIST read;
  std::memset(&read, 0xEE, sizeof read);
  ASSERT_EQ(config.ReadRegAddrs(read), 1);
  EXPECT_EQ(config.GetReadSource(), CTavConfig::kReadPrimary);
  EXPECT_EQ(0, std::memcmp(&read, &written, sizeof read));
}

}  // namespace
