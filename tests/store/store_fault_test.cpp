// Each system call of a write made to fail in turn: the list stays whole,
// nothing is left open and no temporary file remains.
#ifndef _WIN32

#include <cerrno>

#include "platform/config_store_calls_posix.h"
#include "store_fixture.h"

namespace seatenrol {
namespace {

enum class Step { kOpen, kWrite, kSync, kRename };

const char* NameOf(Step step) {
  switch (step) {
    case Step::kOpen:
      return "open";
    case Step::kWrite:
      return "write";
    case Step::kSync:
      return "fsync";
    case Step::kRename:
      return "rename";
  }
  return "";
}

// Which call of which step fails, and where the last rename that went
// through put its file; the stand-ins reach it without a capture.
struct Fault {
  Step step;
  int failAt;
  int calls;
  std::string renamedTo;
};
Fault fault{};

bool Fails(Step step) {
  if (step != fault.step) return false;
  return ++fault.calls == fault.failAt;
}

constexpr StoreCalls kFaultyCalls = {
    [](const char* path, int flags, mode_t mode) {
      if (!Fails(Step::kOpen)) return kSystemStoreCalls.open(path, flags, mode);
      errno = EACCES;
      return -1;
    },
    [](int fd, const void* data, size_t size) -> ssize_t {
      if (!Fails(Step::kWrite)) return kSystemStoreCalls.write(fd, data, size);
      errno = ENOSPC;
      return -1;
    },
    [](int fd) {
      if (!Fails(Step::kSync)) return kSystemStoreCalls.fsync(fd);
      errno = EIO;
      return -1;
    },
    [](const char* from, const char* to) {
      if (Fails(Step::kRename)) {
        errno = EIO;
        return -1;
      }
      const int result = kSystemStoreCalls.rename(from, to);
      if (result == 0) fault.renamedTo = to;
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

// Tries the nth call of each step in turn until a write makes fewer calls
// of it than n, which must then succeed; the last try of every step is thus
// a whole good write, so a descriptor that every write leaks shows too. A
// failing call may fail the write or not (a primary that cannot be read is
// replaced without becoming the backup), but never the list.
TEST_F(StoreTest, EachFailingCallLeavesAWholeListAndNothingOpen) {
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(1)), 1);
  for (Step step : {Step::kOpen, Step::kWrite, Step::kSync, Step::kRename}) {
    for (int failAt = 1;; ++failAt) {
      SCOPED_TRACE(std::string(NameOf(step)) + " call " + std::to_string(failAt));
      ASSERT_LT(failAt, 20) << "a write never stops making this call";
      ASSERT_EQ(config_->WriteRegAddrs(MakeList(2)), 1);
      const std::size_t descriptors = OpenDescriptors();

      fault = Fault{step, failAt, 0, ""};
      StoreSystemCalls() = kFaultyCalls;
      const int written = config_->WriteRegAddrs(MakeList(3));
      StoreSystemCalls() = kSystemStoreCalls;
      const bool fired = fault.calls >= failAt;

      EXPECT_EQ(OpenDescriptors(), descriptors);
      EXPECT_FALSE(std::filesystem::exists(StagingFilePath(primary_)));
      // The primary holds the new list once it was replaced (a failure can
      // still follow: the flush of its directory), the old one otherwise.
      const bool replaced = fault.renamedTo == primary_;
      EXPECT_TRUE(written == 0 || replaced);
      ST_REGISTERINFO_LIST read{};
      int source = 0;
      ASSERT_EQ(ReadStoreFiles(primary_, read, source), 1);
      EXPECT_EQ(source, CTavConfig::kReadPrimary);
      EXPECT_TRUE(SameList(read, MakeList(replaced ? 3 : 2)));
      if (!fired) {
        EXPECT_EQ(written, 1);
        break;
      }
    }
  }
}

}  // namespace
}  // namespace seatenrol

#endif
