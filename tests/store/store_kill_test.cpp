// A writer killed at any instant must leave a whole list: the old or the new.
#ifndef _WIN32

#include <signal.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "store_fixture.h"

namespace seatenrol {
namespace {

// True when list is exactly one that MakeList produced.
bool IsWholeList(const ST_REGISTERINFO_LIST& list) {
  const int seed = list.entries[0].port / 32;
  return seed >= 0 && SameList(list, MakeList(seed));
}

// Kills and reaps the writer however the round ends, a failed assertion included.
struct KilledOnExit {
  pid_t pid;
  ~KilledOnExit() {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
};

TEST_F(StoreTest, KilledWriterNeverLeavesATornList) {
  constexpr int kRounds = 50;
  ASSERT_EQ(config_.WriteRegAddrs(MakeList(0)), 1);
  int reads = 0;
  for (int round = 0; round < kRounds; ++round) {
    {
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
#if defined(__linux__)
        // A test runner that kills this process on a time-out takes the writer too.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() == 1) _exit(0);
#endif
        CTavConfig writer;
        for (int seed = 1 + round * 100000;; ++seed) writer.WriteRegAddrs(MakeList(seed));
      }
      const KilledOnExit writer{child};
      // Reads race the writer for a while that grows each round, then the
      // writer dies wherever it happens to be.
      const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(200 * round);
      do {
        ST_REGISTERINFO_LIST read{};
        ASSERT_EQ(config_.ReadRegAddrs(read), 1) << "round " << round;
        ASSERT_TRUE(IsWholeList(read)) << "round " << round;
        ++reads;
      } while (std::chrono::steady_clock::now() < until);
    }
    ST_REGISTERINFO_LIST read{};
    ASSERT_EQ(config_.ReadRegAddrs(read), 1) << "after round " << round;
    ASSERT_TRUE(IsWholeList(read)) << "after round " << round;
  }
  EXPECT_GE(reads, kRounds);
}

}  // namespace
}  // namespace seatenrol

#endif
