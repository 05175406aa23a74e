// Each system call of the store made to fail: a read that fails is never
// taken for damage, a step that fails leaves the list and its backup as
// they were, the system's code is what the store records, and nothing is
// left open or behind.
#ifndef _WIN32

#include <cerrno>

#include "platform/config_store_calls_posix.h"
#include "platform/system_error.h"
#include "store_fixture.h"

namespace seatenrol {
namespace {

enum class Step { kOpen, kRead, kWrite, kSync, kRename };

const char* NameOf(Step step) {
  switch (step) {
    case Step::kOpen:
      return "open";
    case Step::kRead:
      return "read";
    case Step::kWrite:
      return "write";
    case Step::kSync:
      return "fsync";
    case Step::kRename:
      return "rename";
  }
  return "";
}

// The code each step fails with: a different one each, so the code recorded
// names the step.
int ErrorOf(Step step) {
  switch (step) {
    case Step::kOpen:
      return EACCES;
    case Step::kRead:
      return EIO;
    case Step::kWrite:
      return ENOSPC;
    case Step::kSync:
      return EDQUOT;
    case Step::kRename:
      return EBUSY;
  }
  return 0;
}

// Which calls of which step fail, and what the renames that went through
// did; the stand-ins reach it without a capture.
struct Fault {
  Step step = Step::kOpen;
  int failAt = 0;           // the first call that fails, counting from 1
  bool throughout = false;  // and every call after it
  int error = 0;
  std::string path;  // when set, only calls on this file count
  int calls = 0;
  int fd = -1;  // the descriptor of path, for read
  bool primaryReplaced = false;
  std::string primary;
};
Fault fault;

bool Fails(Step step) {
  if (step != fault.step) return false;
  ++fault.calls;
  return fault.calls == fault.failAt || (fault.throughout && fault.calls > fault.failAt);
}

constexpr StoreCalls kFaultyCalls = {
    [](const char* path, int flags, mode_t mode) {
      const bool counted = fault.path.empty() || fault.path == path;
      if (counted && Fails(Step::kOpen)) {
        errno = fault.error;
        return -1;
      }
      const int fd = kSystemStoreCalls.open(path, flags, mode);
      if (!fault.path.empty() && fault.path == path) fault.fd = fd;
      return fd;
    },
    [](int fd, void* data, size_t size) -> ssize_t {
      const bool counted = fault.path.empty() || fd == fault.fd;
      if (!counted || !Fails(Step::kRead)) return kSystemStoreCalls.read(fd, data, size);
      errno = fault.error;
      return -1;
    },
    [](int fd, const void* data, size_t size) -> ssize_t {
      if (!Fails(Step::kWrite)) return kSystemStoreCalls.write(fd, data, size);
      errno = fault.error;
      return -1;
    },
    [](int fd) {
      if (!Fails(Step::kSync)) return kSystemStoreCalls.fsync(fd);
      errno = fault.error;
      return -1;
    },
    [](const char* from, const char* to) {
      if (Fails(Step::kRename)) {
        errno = fault.error;
        return -1;
      }
      const int result = kSystemStoreCalls.rename(from, to);
      if (result == 0 && fault.primary == to) fault.primaryReplaced = true;
      return result;
    },
};

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    static_cast<void>(entry);
    ++count;
  }
  return count;
}

class StoreFaultTest : public StoreTest {
protected:
  void SetUp() override {
    StoreTest::SetUp();
    // A read the system refuses throughout fails after this, not after 2 s.
    SetStoreRetryForTesting(60);
  }
  void TearDown() override {
    StoreSystemCalls() = kSystemStoreCalls;
    StoreTest::TearDown();
  }

  // Runs call with the fault in place and the recorded code cleared.
  template <typename Call>
  auto WithFault(Step step, int failAt, bool throughout, int error, const std::string& path,
                 Call call) -> decltype(call()) {
    fault = Fault{};
    fault.step = step;
    fault.failAt = failAt;
    fault.throughout = throughout;
    fault.error = error;
    fault.path = path;
    fault.primary = primary_;
    RecordSystemError(0);
    StoreSystemCalls() = kFaultyCalls;
    const auto result = call();
    StoreSystemCalls() = kSystemStoreCalls;
    return result;
  }

  void ExpectNothingLeft() {
    EXPECT_FALSE(std::filesystem::exists(StagingFilePath(primary_)));
    EXPECT_FALSE(std::filesystem::exists(BackupStagingFilePath(primary_)));
  }
};

StoreResult Enrol(const char* name) { return StoreServer(name, 7100, 'n'); }

struct ReadFault {
  const char* what;
  Step step;  // kOpen or kRead
  bool backup;
  bool throughout;
  int error;
};

const ReadFault kReadFaults[] = {
    {"primary open fails once", Step::kOpen, false, false, EACCES},
    {"primary open fails throughout", Step::kOpen, false, true, EACCES},
    {"primary read fails once", Step::kRead, false, false, EIO},
    {"primary read fails throughout", Step::kRead, false, true, EIO},
    {"backup open fails once", Step::kOpen, true, false, EMFILE},
    {"backup open fails throughout", Step::kOpen, true, true, ENFILE},
    {"backup read fails once", Step::kRead, true, false, EIO},
    {"backup read fails throughout", Step::kRead, true, true, EIO},
};

// The list the enrolment finds is the primary's (five servers), or, beside
// a damaged primary, the backup's (four). A read that fails once is tried
// again and the enrolment adds its server to the whole list; one that fails
// throughout ends it with both files as they were.
TEST_F(StoreFaultTest, AFailedReadIsNeverTakenForDamage) {
  for (const ReadFault& row : kReadFaults) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(config_->WriteRegAddrs(MakeList(4)), 1);
    ASSERT_EQ(config_->WriteRegAddrs(MakeList(5)), 1);
    if (row.backup) WriteRaw(primary_, {1, 2, 3});
    const ST_REGISTERINFO_LIST found = MakeList(row.backup ? 4 : 5);
    const std::vector<std::string> before = StoredFiles();
    const std::size_t descriptors = OpenDescriptors();

    const std::string target = row.backup ? primary_ + ".bak" : primary_;
    const StoreResult result = WithFault(row.step, 1, row.throughout, row.error, target,
                                         [] { return Enrol("new.example"); });

    EXPECT_EQ(OpenDescriptors(), descriptors);
    ExpectNothingLeft();
    if (row.throughout) {
      EXPECT_EQ(result, StoreResult::kFailed);
      EXPECT_EQ(RecordedSystemError(), row.error);
      EXPECT_EQ(StoredFiles(), before);
      continue;
    }
    EXPECT_EQ(result, StoreResult::kStored);
    EXPECT_EQ(RecordedSystemError(), 0);
    ST_REGISTERINFO_LIST stored{};
    int source = 0;
    ASSERT_EQ(ReadStoreFiles(primary_, stored, source), 1);
    ASSERT_EQ(stored.count, found.count + 1);
    EXPECT_EQ(std::memcmp(stored.entries, found.entries, sizeof(ST_REGISTERINFO) * found.count), 0);
    EXPECT_STREQ(stored.entries[found.count].serverName, "new.example");
    // The backup is the generation before: the old primary, or, when that
    // was damaged, the backup as it was.
    EXPECT_EQ(ReadRaw(primary_ + ".bak"), row.backup ? before[1] : before[0]);
  }
}

// Fails the nth call of each step in turn until a write makes fewer calls
// of it than n, which must then succeed; the last try of every step is thus
// a whole good write, so a descriptor that every write leaks shows too. A
// read that fails is tried again; any other failing call fails the write,
// which records the call's code and leaves both files as they were, unless
// the primary was already replaced: then the new list stands, and the
// backup holds the generation before it or, when only the flush of the
// directory after its own replacement failed (its open or its fsync), the
// old primary.
TEST_F(StoreFaultTest, EachFailingCallLeavesBothFilesWholeAndNothingOpen) {
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(1)), 1);
  for (Step step : {Step::kOpen, Step::kRead, Step::kWrite, Step::kSync, Step::kRename}) {
    for (int failAt = 1;; ++failAt) {
      SCOPED_TRACE(std::string(NameOf(step)) + " call " + std::to_string(failAt));
      ASSERT_LT(failAt, 20) << "a write never stops making this call";
      ASSERT_EQ(config_->WriteRegAddrs(MakeList(2)), 1);
      const std::vector<std::string> before = StoredFiles();
      const std::size_t descriptors = OpenDescriptors();

      const int written = WithFault(step, failAt, false, ErrorOf(step), "",
                                    [&] { return config_->WriteRegAddrs(MakeList(3)); });
      const bool fired = fault.calls >= failAt;

      EXPECT_EQ(OpenDescriptors(), descriptors);
      ExpectNothingLeft();
      const std::string newList = [] {
        const std::vector<unsigned char> file = EncodeList(MakeList(3));
        return std::string(file.begin(), file.end());
      }();
      if (written == 1) {
        EXPECT_TRUE(!fired || step == Step::kOpen || step == Step::kRead);
        EXPECT_EQ(RecordedSystemError(), 0);
        EXPECT_EQ(StoredFiles(), (std::vector<std::string>{newList, before[0]}));
      } else {
        EXPECT_EQ(RecordedSystemError(), ErrorOf(step));
        if (!fault.primaryReplaced) {
          EXPECT_EQ(StoredFiles(), before);
        } else {
          EXPECT_EQ(ReadRaw(primary_), newList);
          const std::string backup = ReadRaw(primary_ + ".bak");
          EXPECT_TRUE(backup == before[1] || backup == before[0]);
        }
      }
      if (!fired) break;
    }
  }
}

// A list that does not exist yet still becomes a list of the one server,
// and one damaged beyond its backup is started afresh, as before.
TEST_F(StoreFaultTest, OnlyAMissingOrDamagedListIsStartedAfresh) {
  ASSERT_EQ(Enrol("first.example"), StoreResult::kStored);
  ST_REGISTERINFO_LIST stored{};
  int source = 0;
  ASSERT_EQ(ReadStoreFiles(primary_, stored, source), 1);
  EXPECT_EQ(stored.count, 1);

  WriteRaw(primary_, {1, 2, 3});
  WriteRaw(primary_ + ".bak", {4, 5, 6});
  ASSERT_EQ(Enrol("second.example"), StoreResult::kStored);
  ASSERT_EQ(ReadStoreFiles(primary_, stored, source), 1);
  EXPECT_EQ(stored.count, 1);
  EXPECT_STREQ(stored.entries[0].serverName, "second.example");
  EXPECT_EQ(ReadRaw(primary_ + ".bak"), std::string("\x04\x05\x06"));
}

}  // namespace
}  // namespace seatenrol

#endif
