// A writer killed at any instant must leave a whole list, the old or the new,
// and nothing that the next write does not clear away.
#ifndef _WIN32

#include <signal.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <set>

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

// A child that writes lists under its own lock until it is killed.
pid_t StartWriter(int firstSeed) {
  const pid_t child = fork();
  if (child != 0) return child;
#if defined(__linux__)
  // A test runner that kills this process on a time-out takes the writer too.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() == 1) _exit(0);
#endif
  CTavConfig writer;
  if (OpenStoreSection(writer) != CTavConfig::kLockHeld) _exit(1);
  for (int seed = firstSeed;; ++seed) writer.WriteRegAddrs(MakeList(seed));
}

TEST_F(StoreTest, KilledWritersLeaveAWholeListAndNothingBehind) {
  constexpr int kRounds = 100;
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(0)), 1);
  std::mt19937 random(::testing::UnitTest::GetInstance()->random_seed());
  std::set<int> seen;
  for (int round = 0; round < kRounds; ++round) {
    {
      const pid_t child = StartWriter(1 + round * 100000);
      ASSERT_GE(child, 0);
      const KilledOnExit writer{child};
      // Reads race the writer for a random while, then the writer dies
      // wherever it happens to be.
      const auto until =
          std::chrono::steady_clock::now() + std::chrono::microseconds(random() % 20000);
      do {
        ST_REGISTERINFO_LIST read{};
        int source = 0;
        ASSERT_EQ(ReadStoreFiles(primary_, read, source), 1) << "round " << round;
        ASSERT_TRUE(IsWholeList(read)) << "round " << round;
        seen.insert(read.entries[0].port / 32);
      } while (std::chrono::steady_clock::now() < until);
    }
    ST_REGISTERINFO_LIST read{};
    int source = 0;
    ASSERT_EQ(ReadStoreFiles(primary_, read, source), 1) << "after round " << round;
    ASSERT_EQ(source, CTavConfig::kReadPrimary) << "after round " << round;
    ASSERT_TRUE(IsWholeList(read)) << "after round " << round;
  }
  EXPECT_GT(seen.size(), 1u) << "the writers never got to write";

  // The kill's lock went with the process; a writer that completes leaves
  // the list, its backup and the lock file, nothing more.
  CTavConfig last;
  ASSERT_EQ(OpenStoreSection(last), CTavConfig::kLockHeld);
  ASSERT_EQ(last.WriteRegAddrs(MakeList(4242)), 1);
  std::set<std::string> names;
  for (const auto& file : std::filesystem::directory_iterator(directory_)) {
    names.insert(file.path().filename().string());
  }
  EXPECT_EQ(names,
            (std::set<std::string>{"regaddrs.dat", "regaddrs.dat.bak", "regaddrs.dat.lock"}));
  ST_REGISTERINFO_LIST read{};
  ASSERT_EQ(last.ReadRegAddrs(read), 1);
  EXPECT_TRUE(SameList(read, MakeList(4242)));
}

}  // namespace
}  // namespace seatenrol

#endif
