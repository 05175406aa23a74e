#include <functional>

#include "store_fixture.h"

#ifndef _WIN32
#include <unistd.h>

#include <thread>
#endif
#ifdef __linux__
#include <linux/capability.h>
#include <sys/syscall.h>
#endif

namespace seatenrol {
namespace {

constexpr std::size_t kCountOffset = kStoreHeaderSize;

// Puts a fresh CRC behind a deliberately altered file, so that only the
// alteration itself can make the file unacceptable.
void Reseal(std::vector<unsigned char>& file) {
  const std::size_t checked = kStoreFileSize - 4;
  const std::uint32_t crc = Crc32(file.data(), checked);
  for (int i = 0; i < 4; ++i) file[checked + i] = static_cast<unsigned char>(crc >> (8 * i));
}

void SetCount(std::vector<unsigned char>& file, std::uint32_t count) {
  for (int i = 0; i < 4; ++i) file[kCountOffset + i] = static_cast<unsigned char>(count >> (8 * i));
  Reseal(file);
}

struct Damage {
  const char* what;
  std::function<void(std::vector<unsigned char>&)> apply;
};

const Damage kDamages[] = {
    {"empty", [](auto& f) { f.clear(); }},
    {"torn in the record", [](auto& f) { f.resize(kStoreFileSize / 2); }},
    {"last byte missing", [](auto& f) { f.pop_back(); }},
    {"byte appended", [](auto& f) { f.push_back(0); }},
    {"wrong magic",
     [](auto& f) {
       f[0] ^= 0x20;
       Reseal(f);
     }},
    {"wrong version",
     [](auto& f) {
       f[4] = 2;
       Reseal(f);
     }},
    {"wrong record length",
     [](auto& f) {
       f[8] ^= 1;
       Reseal(f);
     }},
    {"flipped credential bit", [](auto& f) { f[kStoreHeaderSize + 4 + 270] ^= 0x04; }},
    {"count 21", [](auto& f) { SetCount(f, 21); }},
    {"count -1", [](auto& f) { SetCount(f, 0xFFFFFFFFu); }},
};

TEST(StoreFormat, Crc32MatchesTheIeeeCheckValue) {
  const char text[] = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const unsigned char*>(text), 9), 0xCBF43926u);
}

TEST(StoreFormat, IntegersAreLittleEndianWhateverTheHost) {
  ST_REGISTERINFO_LIST list{};
  list.count = 3;
  list.entries[1].port = -2;
  const std::vector<unsigned char> file = EncodeList(list);
  EXPECT_EQ(std::vector<unsigned char>(file.begin() + 8, file.begin() + 16),
            (std::vector<unsigned char>{0xFC, 0x16, 0, 0, 3, 0, 0, 0}));
  const std::size_t port = kStoreHeaderSize + 4 + 294 + 256;
  EXPECT_EQ(std::vector<unsigned char>(file.begin() + port, file.begin() + port + 4),
            (std::vector<unsigned char>{0xFE, 0xFF, 0xFF, 0xFF}));
}

#ifndef _WIN32
// A host that closed its standard input gets descriptor 0 for the next file
// it opens (the reader's lock, here): the store is still read, and every
// descriptor it took is closed after.
TEST_F(StoreTest, AListOpenedOnDescriptorZeroIsRead) {
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(20)), 1);
  const int savedInput = ::dup(0);
  ASSERT_GE(savedInput, 0);
  ::close(0);
  ST_REGISTERINFO_LIST read{};
  const int result = config_->ReadRegAddrs(read);
  const int next = ::dup(savedInput);  // 0 again when the store closed it
  ::dup2(savedInput, 0);
  ::close(savedInput);
  if (next != 0) ::close(next);
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(SameList(read, MakeList(20)));
  EXPECT_EQ(next, 0);
}
#endif

TEST_F(StoreTest, ListsReadBackExactly) {
  for (int seed : {0, 1, 20, 41, 777}) {
    SCOPED_TRACE(seed);
    ASSERT_EQ(config_->WriteRegAddrs(MakeList(seed)), 1);
    ST_REGISTERINFO_LIST read{};
    ASSERT_EQ(config_->ReadRegAddrs(read), 1);
    EXPECT_TRUE(SameList(read, MakeList(seed)));
  }
}

// A missing primary is no list, whatever backup a removed list left; only a
// damaged one recovers from the backup.
TEST_F(StoreTest, MissingPrimaryReadsAsNoListEvenBesideABackup) {
  ST_REGISTERINFO_LIST read = MakeList(5);
  ASSERT_EQ(config_->ReadRegAddrs(read), 1);
  EXPECT_TRUE(SameList(read, ST_REGISTERINFO_LIST{}));
  EXPECT_EQ(config_->GetReadSource(), CTavConfig::kReadMissing);

  ASSERT_EQ(config_->WriteRegAddrs(MakeList(6)), 1);
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(7)), 1);
  ASSERT_TRUE(std::filesystem::exists(primary_ + ".bak"));
  std::filesystem::remove(primary_);
  read = MakeList(5);
  ASSERT_EQ(config_->ReadRegAddrs(read), 1);
  EXPECT_EQ(read.count, 0);
  EXPECT_EQ(config_->GetReadSource(), CTavConfig::kReadMissing);

  // The list started after the removal must not be backed by the removed
  // one: a later damage of the primary then has nothing to recover.
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(8)), 1);
  WriteRaw(primary_, {1, 2, 3});
  read = MakeList(5);
  EXPECT_EQ(config_->ReadRegAddrs(read), 0);
  EXPECT_EQ(config_->GetReadSource(), CTavConfig::kReadNothing);
  EXPECT_TRUE(SameList(read, MakeList(5)));
}

TEST_F(StoreTest, CountOutsideTheListIsRefusedAndStoresNothing) {
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(3)), 1);
  for (int count : {21, -1, 1000}) {
    ST_REGISTERINFO_LIST list = MakeList(4);
    list.count = count;
    EXPECT_EQ(config_->WriteRegAddrs(list), 0) << count;
  }
  ST_REGISTERINFO_LIST read{};
  ASSERT_EQ(config_->ReadRegAddrs(read), 1);
  EXPECT_TRUE(SameList(read, MakeList(3)));
}

TEST_F(StoreTest, DamagedPrimaryFallsBackToTheBackupOrFails) {
  for (const Damage& damage : kDamages) {
    SCOPED_TRACE(damage.what);
    std::vector<unsigned char> bad = EncodeList(MakeList(9));
    damage.apply(bad);
    WriteRaw(primary_, bad);

    std::filesystem::remove(primary_ + ".bak");
    ST_REGISTERINFO_LIST read = MakeList(1);
    EXPECT_EQ(config_->ReadRegAddrs(read), 0);
    EXPECT_TRUE(SameList(read, MakeList(1)));

    WriteRaw(primary_ + ".bak", EncodeList(MakeList(7)));
    ASSERT_EQ(config_->ReadRegAddrs(read), 1);
    EXPECT_TRUE(SameList(read, MakeList(7)));
    EXPECT_EQ(config_->GetReadSource(), CTavConfig::kReadBackup);

    WriteRaw(primary_ + ".bak", bad);
    read = MakeList(1);
    EXPECT_EQ(config_->ReadRegAddrs(read), 0);
    EXPECT_TRUE(SameList(read, MakeList(1)));
  }
}

TEST_F(StoreTest, WriteKeepsThePreviousGoodListAsBackup) {
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(11)), 1);
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(12)), 1);
  WriteRaw(primary_, {1, 2, 3});
  ST_REGISTERINFO_LIST read{};
  ASSERT_EQ(config_->ReadRegAddrs(read), 1);
  EXPECT_TRUE(SameList(read, MakeList(11)));

  // A damaged primary must not push the good backup out.
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(13)), 1);
  WriteRaw(primary_, {});
  ASSERT_EQ(config_->ReadRegAddrs(read), 1);
  EXPECT_TRUE(SameList(read, MakeList(11)));
}

TEST_F(StoreTest, CrashBeforeTheReplacementLeavesTheOldList) {
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(21)), 1);
  ASSERT_TRUE(StageStoreFile(primary_, EncodeList(MakeList(22)).data()));
  ST_REGISTERINFO_LIST read{};
  ASSERT_EQ(config_->ReadRegAddrs(read), 1);
  EXPECT_TRUE(SameList(read, MakeList(21)));

  // Half a file left by a killed writer is replaced by the next write.
  WriteRaw(StagingFilePath(primary_), {0xde, 0xad});
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(23)), 1);
  ASSERT_EQ(config_->ReadRegAddrs(read), 1);
  EXPECT_TRUE(SameList(read, MakeList(23)));
  EXPECT_FALSE(std::filesystem::exists(StagingFilePath(primary_)));
}

TEST_F(StoreTest, OverlongDirectoryFailsCleanly) {
  SetStoreDirectory(directory_.string() + "/" + std::string(5000, 'd'));
  CTavConfig config;
  EXPECT_EQ(config.GetLockState(), CTavConfig::kLockNone);
  EXPECT_STREQ(config.GetStorePath(), "");
  ST_REGISTERINFO_LIST read = MakeList(2);
  EXPECT_EQ(config.WriteRegAddrs(MakeList(3)), 0);
  EXPECT_EQ(config.ReadRegAddrs(read), 0);
  EXPECT_TRUE(SameList(read, MakeList(2)));
}

#ifndef _WIN32
// Runs body in a thread of its own without the capabilities that let the
// superuser pass over file permissions: Linux keeps capabilities per
// thread, so the rest of the process keeps them. False when they cannot be
// dropped (then body does not run).
bool RunBoundByPermissions(const std::function<void()>& body) {
  if (geteuid() != 0) {
    body();
    return true;
  }
#ifdef __linux__
  bool dropped = false;
  std::thread bound([&] {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0) return;
    for (int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
      data[capability / 32].effective &= ~(1u << (capability % 32));
    }
    if (syscall(SYS_capset, &header, data) != 0) return;
    dropped = true;
    body();
  });
  bound.join();
  return dropped;
#else
  return false;
#endif
}

TEST_F(StoreTest, ProtectedDirectoryFailsWithoutLosingTheList) {
  namespace fs = std::filesystem;
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(31)), 1);
  const bool ran = RunBoundByPermissions([&] {
    fs::permissions(directory_, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(config_->WriteRegAddrs(MakeList(32)), 0);
    ST_REGISTERINFO_LIST read{};
    ASSERT_EQ(config_->ReadRegAddrs(read), 1);
    EXPECT_TRUE(SameList(read, MakeList(31)));

    fs::permissions(directory_, fs::perms::none);
    read = MakeList(1);
    EXPECT_EQ(config_->ReadRegAddrs(read), 0);
    EXPECT_TRUE(SameList(read, MakeList(1)));
  });
  if (!ran) GTEST_SKIP() << "the superuser's power over permissions cannot be dropped here";
}
#endif

}  // namespace
}  // namespace seatenrol
