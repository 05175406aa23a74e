// Windows: folders whose names the system's code page cannot spell, a list
// another program holds open, each file call of the store failing, and who
// may open the files that hold the credentials.
#ifdef _WIN32

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <thread>
#include <utility>

#include "log/log.h"
#include "platform/config_store_calls_win.h"
#include "platform/os.h"
#include "platform/system_error.h"
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

StoreResult Enrol(const char* name) { return StoreServer(name, 7200, 'w'); }

// The servers of the stored list; -1 when it cannot be read.
int StoredCount(const std::string& primary) {
  ST_REGISTERINFO_LIST list{};
  int source = 0;
  return ReadStoreFiles(primary, list, source) == 1 ? list.count : -1;
}

// A scanner's or a backup tool's handle, opened with no sharing at all,
// for a second: the enrolment waits it out and stores, or fails with both
// files as they were.
TEST_F(StoreTest, AnEnrolmentWaitsOutAHandleThatSharesNothing) {
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(4)), 1);
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(5)), 1);
  const std::vector<std::string> before = StoredFiles();
  const HANDLE held = CreateFileW(Wide(primary_).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::thread release([held] {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    CloseHandle(held);
  });
  RecordSystemError(0);
  const StoreResult result = Enrol("held.example");
  release.join();
  if (result == StoreResult::kStored) {
    EXPECT_EQ(StoredCount(primary_), 6);
    EXPECT_EQ(ReadRaw(primary_ + ".bak"), before[0]);
  } else {
    EXPECT_NE(RecordedSystemError(), 0);
    EXPECT_EQ(StoredFiles(), before);
  }
}

// A handle that shares read and delete: a rename with POSIX semantics
// replaces the list under it; where the system refuses that rename (wine 8),
// MoveFileExW cannot, and the enrolment fails with the system's reason and
// both files as they were.
TEST_F(StoreTest, AHandleThatSharesDeleteStopsOnlyTheFallback) {
  SetStoreRetryForTesting(300);
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(4)), 1);
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(5)), 1);
  const std::vector<std::string> before = StoredFiles();
  const HANDLE held =
      CreateFileW(Wide(primary_).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  RecordSystemError(0);
  const StoreResult result = Enrol("shared.example");
  CloseHandle(held);
  if (result == StoreResult::kStored) {
    EXPECT_EQ(StoredCount(primary_), 6);
  } else {
    EXPECT_EQ(RecordedSystemError(), static_cast<int>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(StoredFiles(), before);
  }
}

enum class Call { kCreate, kRead, kWrite, kFlush, kRename, kMove };

// What the stand-ins fail and what they saw; reached without a capture.
struct WinFault {
  Call call = Call::kCreate;
  bool throughout = false;
  DWORD error = 0;
  std::wstring path;          // when set, only opens of this file count (and reads of it)
  bool refuseRename = false;  // the rename with flags answers ERROR_NOT_SUPPORTED
  int calls = 0;
  HANDLE handle = INVALID_HANDLE_VALUE;
  int renames = 0;  // rename calls with flags, and whether each was well formed
  bool renameWellFormed = true;
  int moves = 0;
};
WinFault winFault;

bool Fails(Call call) {
  if (call != winFault.call) return false;
  ++winFault.calls;
  return winFault.calls == 1 || winFault.throughout;
}

BOOL Failed() {
  SetLastError(winFault.error);
  return FALSE;
}

HANDLE WINAPI FaultyCreate(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                           DWORD disposition, DWORD flags, HANDLE model) {
  const bool counted = winFault.path.empty() || winFault.path == path;
  if (counted && Fails(Call::kCreate)) {
    SetLastError(winFault.error);
    return INVALID_HANDLE_VALUE;
  }
  const HANDLE file =
      kSystemStoreCalls.createFile(path, access, share, security, disposition, flags, model);
  if (!winFault.path.empty() && winFault.path == path) winFault.handle = file;
  return file;
}

BOOL WINAPI FaultyRead(HANDLE file, LPVOID data, DWORD size, LPDWORD got, LPOVERLAPPED at) {
  const bool counted = winFault.path.empty() || file == winFault.handle;
  if (counted && Fails(Call::kRead)) return Failed();
  return kSystemStoreCalls.readFile(file, data, size, got, at);
}

BOOL WINAPI FaultyWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD put, LPOVERLAPPED at) {
  if (Fails(Call::kWrite)) return Failed();
  return kSystemStoreCalls.writeFile(file, data, size, put, at);
}

BOOL WINAPI FaultyFlush(HANDLE file) {
  if (Fails(Call::kFlush)) return Failed();
  return kSystemStoreCalls.flushFileBuffers(file);
}

// Checks what the rename with flags is given: information class 22, both
// flags, no root directory, and a full target path of the stated length.
BOOL WINAPI FaultyRename(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information,
                         DWORD size) {
  ++winFault.renames;
  struct Layout {
    DWORD flags;
    HANDLE root;
    DWORD length;
    WCHAR name[1];
  };
  const Layout* info = static_cast<const Layout*>(information);
  const std::wstring name(info->name, info->length / sizeof(WCHAR));
  winFault.renameWellFormed = winFault.renameWellFormed && kind == 22 && info->flags == 3 &&
                              info->root == nullptr && name.find(L"regaddrs.dat") != name.npos &&
                              size >= offsetof(Layout, name) + info->length;
  if (winFault.refuseRename) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (Fails(Call::kRename)) return Failed();
  return kSystemStoreCalls.setFileInformationByHandle(file, kind, information, size);
}

BOOL WINAPI FaultyMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
  ++winFault.moves;
  if (Fails(Call::kMove)) return Failed();
  return kSystemStoreCalls.moveFileEx(from, to, flags);
}

constexpr StoreCalls kFaultyCalls = {FaultyCreate,
                                     FaultyRead,
                                     FaultyWrite,
                                     FaultyFlush,
                                     FaultyRename,
                                     FaultyMove,
                                     kSystemStoreCalls.deleteFile};

enum class Target { kAny, kPrimary, kBackup, kStaging };

struct WinFaultRow {
  const char* what;
  Call call;
  Target target;
  bool throughout;
  DWORD error;
  bool refuseRename;
  bool stored;
};

const WinFaultRow kWinFaults[] = {
    {"list open busy once", Call::kCreate, Target::kPrimary, false, ERROR_SHARING_VIOLATION, false,
     true},
    {"list open busy throughout", Call::kCreate, Target::kPrimary, true, ERROR_SHARING_VIOLATION,
     false, false},
    {"list read locked once", Call::kRead, Target::kPrimary, false, ERROR_LOCK_VIOLATION, false,
     true},
    {"list read locked throughout", Call::kRead, Target::kPrimary, true, ERROR_LOCK_VIOLATION,
     false, false},
    {"backup open denied once", Call::kCreate, Target::kBackup, false, ERROR_ACCESS_DENIED, false,
     true},
    {"backup open denied throughout", Call::kCreate, Target::kBackup, true, ERROR_ACCESS_DENIED,
     false, false},
    {"backup read fails throughout", Call::kRead, Target::kBackup, true, ERROR_READ_FAULT, false,
     false},
    {"staging create denied", Call::kCreate, Target::kStaging, false, ERROR_ACCESS_DENIED, false,
     false},
    {"write finds the disk full", Call::kWrite, Target::kAny, false, ERROR_DISK_FULL, false, false},
    {"flush fails", Call::kFlush, Target::kAny, false, ERROR_WRITE_FAULT, false, false},
    {"rename busy once", Call::kRename, Target::kAny, false, ERROR_SHARING_VIOLATION, false, true},
    {"rename busy throughout", Call::kRename, Target::kAny, true, ERROR_SHARING_VIOLATION, false,
     false},
    {"rename refused, move busy once", Call::kMove, Target::kAny, false, ERROR_ACCESS_DENIED, true,
     true},
    {"rename refused, move denied throughout", Call::kMove, Target::kAny, true, ERROR_ACCESS_DENIED,
     true, false},
};

// The enrolment finds five servers in the primary, or, beside a damaged
// primary (the backup rows), four in the backup.
TEST_F(StoreTest, EachFailingFileCallStoresTheWholeListOrChangesNothing) {
  SetStoreRetryForTesting(100);
  for (const WinFaultRow& row : kWinFaults) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(config_->WriteRegAddrs(MakeList(4)), 1);
    ASSERT_EQ(config_->WriteRegAddrs(MakeList(5)), 1);
    const bool backup = row.target == Target::kBackup;
    if (backup) WriteRaw(primary_, {1, 2, 3});
    const std::vector<std::string> before = StoredFiles();

    winFault = WinFault{};
    winFault.call = row.call;
    winFault.throughout = row.throughout;
    winFault.error = row.error;
    winFault.refuseRename = row.refuseRename;
    const std::string target = row.target == Target::kPrimary   ? primary_
                               : row.target == Target::kBackup  ? primary_ + ".bak"
                               : row.target == Target::kStaging ? StagingFilePath(primary_)
                                                                : std::string();
    if (!target.empty()) winFault.path = Wide(target);
    RecordSystemError(0);
    StoreSystemCalls() = kFaultyCalls;
    const StoreResult result = Enrol("fault.example");
    StoreSystemCalls() = kSystemStoreCalls;

    EXPECT_TRUE(winFault.renameWellFormed);
    EXPECT_FALSE(fs::exists(StagingFilePath(primary_)));
    EXPECT_FALSE(fs::exists(BackupStagingFilePath(primary_)));
    if (row.stored) {
      EXPECT_EQ(result, StoreResult::kStored);
      EXPECT_EQ(RecordedSystemError(), 0);
      EXPECT_EQ(StoredCount(primary_), backup ? 5 : 6);
    } else {
      EXPECT_EQ(result, StoreResult::kFailed);
      EXPECT_EQ(RecordedSystemError(), static_cast<int>(row.error));
      EXPECT_EQ(StoredFiles(), before);
    }
    if (row.refuseRename) {
      EXPECT_GT(winFault.moves, 0);
    }
  }
}

BOOL WINAPI CountedRename(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information,
                          DWORD size) {
  ++winFault.renames;
  return kSystemStoreCalls.setFileInformationByHandle(file, kind, information, size);
}

BOOL WINAPI RefusedRename(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD) {
  ++winFault.renames;
  SetLastError(winFault.error);
  return FALSE;
}

BOOL WINAPI CountedMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
  ++winFault.moves;
  return kSystemStoreCalls.moveFileEx(from, to, flags);
}

// Both ways of replacing the list: the rename with flags where the system
// has it, MoveFileExW where it refuses (as wine 8 does, and as the stand-in
// does here with ERROR_INVALID_PARAMETER and ERROR_NOT_SUPPORTED).
TEST_F(StoreTest, ARefusedRenameFallsBackToMoveFileEx) {
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(1)), 1);
  StoreCalls counting = kSystemStoreCalls;
  counting.setFileInformationByHandle = CountedRename;
  counting.moveFileEx = CountedMove;
  StoreCalls refusing = counting;
  refusing.setFileInformationByHandle = RefusedRename;

  winFault = WinFault{};
  StoreSystemCalls() = counting;
  const int systemWritten = config_->WriteRegAddrs(MakeList(2));
  StoreSystemCalls() = kSystemStoreCalls;
  EXPECT_EQ(systemWritten, 1);
  // Two replacements (the list, then its backup): each by one of the two.
  EXPECT_EQ(winFault.renames, 2);
  EXPECT_TRUE(winFault.moves == 0 || winFault.moves == 2) << winFault.moves;

  for (DWORD refusal : {DWORD{ERROR_INVALID_PARAMETER}, DWORD{ERROR_NOT_SUPPORTED}}) {
    SCOPED_TRACE(refusal);
    winFault = WinFault{};
    winFault.error = refusal;
    StoreSystemCalls() = refusing;
    const int written = config_->WriteRegAddrs(MakeList(3));
    StoreSystemCalls() = kSystemStoreCalls;
    EXPECT_EQ(written, 1);
    EXPECT_EQ(winFault.renames, 2);
    EXPECT_EQ(winFault.moves, 2);
    ST_REGISTERINFO_LIST read{};
    ASSERT_EQ(config_->ReadRegAddrs(read), 1);
    EXPECT_TRUE(SameList(read, MakeList(3)));
  }
}

std::vector<unsigned char> SidOf(WELL_KNOWN_SID_TYPE type) {
  std::vector<unsigned char> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
  sid.resize(size);
  return sid;
}

std::vector<unsigned char> ProcessUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  std::vector<unsigned char> buffer(256);
  DWORD size = 0;
  const bool ok = GetTokenInformation(token, TokenUser, buffer.data(),
                                      static_cast<DWORD>(buffer.size()), &size) != 0;
  CloseHandle(token);
  if (!ok) return {};
  const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  const unsigned char* bytes = static_cast<const unsigned char*>(sid);
  return std::vector<unsigned char>(bytes, bytes + GetLengthSid(sid));
}

// Checks that descriptor holds a protected DACL of exactly three entries:
// full control for the creating user, SYSTEM and Administrators.
void ExpectOwnerOnly(PSECURITY_DESCRIPTOR descriptor) {
  const std::set<std::vector<unsigned char>> expected = {ProcessUserSid(), SidOf(WinLocalSystemSid),
                                                         SidOf(WinBuiltinAdministratorsSid)};
  ASSERT_EQ(expected.size(), 3u);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_NE(control & SE_DACL_PROTECTED, 0);
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present);
  ASSERT_NE(dacl, nullptr);
  std::set<std::vector<unsigned char>> granted;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, &ace));
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(allowed->Mask & FILE_ALL_ACCESS, static_cast<DWORD>(FILE_ALL_ACCESS));
    const auto* sid = reinterpret_cast<const unsigned char*>(&allowed->SidStart);
    const DWORD length = GetLengthSid(const_cast<unsigned char*>(sid));
    granted.insert(std::vector<unsigned char>(sid, sid + length));
  }
  EXPECT_EQ(dacl->AceCount, 3u);
  EXPECT_EQ(granted, expected);
}

// The descriptors the store creates its files with, by file name.
std::vector<std::pair<std::wstring, std::vector<unsigned char>>> createdWith;

HANDLE WINAPI RecordingCreate(LPCWSTR path, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                              HANDLE model) {
  if (security != nullptr && security->lpSecurityDescriptor != nullptr) {
    DWORD size = 0;
    MakeSelfRelativeSD(security->lpSecurityDescriptor, nullptr, &size);
    std::vector<unsigned char> copy(size);
    if (size > 0 && MakeSelfRelativeSD(security->lpSecurityDescriptor, copy.data(), &size)) {
      createdWith.emplace_back(fs::path(path).filename().wstring(), copy);
    }
  }
  return kSystemStoreCalls.createFile(path, access, share, security, disposition, flags, model);
}

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The files that hold credentials: the list, its backup and the staging
// files that become them are created with a protected DACL of exactly
// three entries. Windows keeps it on the file and a rename keeps it with
// the file; wine 8 keeps no DACL (it maps one to the Unix mode bits and
// reports a DACL of its own), so there only what the files are created with
// is checked.
TEST_F(StoreTest, OnlyTheOwnerSystemAndAdministratorsMayOpenTheCredentials) {
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(1)), 1);
  createdWith.clear();
  StoreCalls recording = kSystemStoreCalls;
  recording.createFile = RecordingCreate;
  StoreSystemCalls() = recording;
  const int written = config_->WriteRegAddrs(MakeList(2));
  const bool staged = StageStoreFile(primary_, EncodeList(MakeList(3)).data());
  StoreSystemCalls() = kSystemStoreCalls;
  ASSERT_EQ(written, 1);
  ASSERT_TRUE(staged);
  std::set<std::wstring> names;
  for (const auto& created : createdWith) {
    SCOPED_TRACE(fs::path(created.first).u8string());
    names.insert(created.first);
    ExpectOwnerOnly(const_cast<unsigned char*>(created.second.data()));
  }
  EXPECT_EQ(names, (std::set<std::wstring>{L"regaddrs.dat.tmp", L"regaddrs.dat.btmp"}));

  if (UnderWine()) {
    std::printf(
        "wine keeps no DACL on a file: only the descriptors the files were created with "
        "were checked\n");
    return;
  }
  for (const std::string& path : {primary_, primary_ + ".bak", StagingFilePath(primary_)}) {
    SCOPED_TRACE(path);
    DWORD needed = 0;
    GetFileSecurityW(Wide(path).c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    ASSERT_GT(needed, 0u);
    std::vector<unsigned char> descriptor(needed);
    ASSERT_TRUE(GetFileSecurityW(Wide(path).c_str(), DACL_SECURITY_INFORMATION, descriptor.data(),
                                 needed, &needed));
    ExpectOwnerOnly(descriptor.data());
  }
}

}  // namespace
}  // namespace seatenrol

#endif
