// Windows: folders whose names the system's code page cannot spell, and a
// list another program holds open for a moment.
#ifdef _WIN32

#include <windows.h>

#include <chrono>
#include <thread>

#include "log/log.h"
#include "platform/os.h"
#include "store_fixture.h"

namespace seatenrol {
namespace {

namespace fs = std::filesystem;

// Cyrillic, CJK and an emoji: outside every ANSI code page at once.
const char kWideFolder[] =
    "\xD0\xA2\xD0\xB5\xD1\x81\xD1\x82-\xE6\xB5\x8B\xE8\xAF\x95-\xF0\x9F\x98\x80";
const wchar_t kChildVariable[] = L"SEATENROL_WIDE_CHILD";

std::wstring Wide(const std::string& text) { return fs::u8path(text).wstring(); }

std::string Utf8(const fs::path& path) { return path.u8string(); }

void SetVariable(const wchar_t* name, const std::string& utf8) {
  SetEnvironmentVariableW(name, utf8.empty() ? nullptr : Wide(utf8).c_str());
}

class WideFolder : public StoreTest {
protected:
  void SetUp() override {
    StoreTest::SetUp();
    folder_ = directory_ / fs::u8path(kWideFolder);
    fs::create_directories(folder_);
    SetVariable(L"SEATENROL_CONFIG_DIR", Utf8(folder_));
  }
  fs::path folder_;
};

TEST_F(WideFolder, HoldsTheStoreAndTheLog) {
  CTavConfig config;
  EXPECT_EQ(std::string(config.GetStorePath()), Utf8(folder_ / "regaddrs.dat"));
  ASSERT_EQ(config.WriteRegAddrs(MakeList(1)), 1);
  ASSERT_EQ(config.WriteRegAddrs(MakeList(2)), 1);
  ST_REGISTERINFO_LIST read{};
  ASSERT_EQ(config.ReadRegAddrs(read), 1);
  EXPECT_TRUE(SameList(read, MakeList(2)));
  for (const char* name : {"regaddrs.dat", "regaddrs.dat.bak", "regaddrs.dat.lock"}) {
    EXPECT_TRUE(fs::exists(folder_ / name)) << name;
  }

  SetLogDirectory(Utf8(folder_).c_str());
  EXPECT_EQ(WriteLog("wide"), 1);
  SetLogDirectory(nullptr);
  const std::string log = Utf8(folder_ / "terminal_.log");
  std::uint64_t size = 0;
  ASSERT_TRUE(FileSize(log.c_str(), size));
  EXPECT_GT(size, 0u);
  EXPECT_TRUE(DeleteFileAt(log.c_str()));
  EXPECT_FALSE(fs::exists(fs::u8path(log)));
}

// Run by the next test as a copy of this program in the wide folder: the
// store and the log lie beside the executable, wherever that is.
TEST(WideFolderChild, DISABLED_FindsItsOwnFolder) {
  wchar_t expected[MAX_PATH] = {};
  ASSERT_NE(GetEnvironmentVariableW(kChildVariable, expected, MAX_PATH), 0u);
  std::string directory;
  ASSERT_TRUE(ExecutableDirectory(directory));
  EXPECT_EQ(fs::u8path(directory), fs::path(expected));
  CTavConfig config;
  EXPECT_EQ(config.WriteRegAddrs(MakeList(3)), 1);
  EXPECT_EQ(WriteLog("beside the program"), 1);
}

TEST_F(WideFolder, AProgramInItFindsItsOwnFolder) {
  wchar_t self[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  const fs::path copy = folder_ / "child.exe";
  fs::copy_file(self, copy);
  SetVariable(L"SEATENROL_CONFIG_DIR", "");
  SetEnvironmentVariableW(kChildVariable, folder_.wstring().c_str());
  std::wstring command = L"\"" + copy.wstring() +
                         L"\" --gtest_also_run_disabled_tests"
                         L" --gtest_filter=WideFolderChild.DISABLED_FindsItsOwnFolder";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const bool started = CreateProcessW(copy.wstring().c_str(), &command[0], nullptr, nullptr, FALSE,
                                      0, nullptr, nullptr, &startup, &process);
  SetEnvironmentVariableW(kChildVariable, nullptr);
  ASSERT_TRUE(started);
  WaitForSingleObject(process.hProcess, 60000);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(status, 0u);
  EXPECT_TRUE(fs::exists(folder_ / "regaddrs.dat"));
  EXPECT_TRUE(fs::exists(folder_ / "terminal_.log"));
}

// Another program's handle without FILE_SHARE_DELETE blocks the replacement
// of the list for as long as it is open.
HANDLE HoldOpen(const std::string& path) {
  return CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST_F(StoreTest, AListHeldOpenForAMomentIsStillReplaced) {
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(1)), 1);
  const HANDLE held = HoldOpen(primary_);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::thread release([held] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    CloseHandle(held);
  });
  const int written = config_->WriteRegAddrs(MakeList(2));
  release.join();
  EXPECT_EQ(written, 1);
  ST_REGISTERINFO_LIST read{};
  ASSERT_EQ(config_->ReadRegAddrs(read), 1);
  EXPECT_TRUE(SameList(read, MakeList(2)));
}

TEST_F(StoreTest, AListHeldOpenThroughoutFailsTheWriteAndStays) {
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(1)), 1);
  const HANDLE held = HoldOpen(primary_);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const int written = config_->WriteRegAddrs(MakeList(2));
  CloseHandle(held);
  EXPECT_EQ(written, 0);
  EXPECT_FALSE(fs::exists(StagingFilePath(primary_)));
  ST_REGISTERINFO_LIST read{};
  ASSERT_EQ(config_->ReadRegAddrs(read), 1);
  EXPECT_TRUE(SameList(read, MakeList(1)));
}

}  // namespace
}  // namespace seatenrol

#endif
