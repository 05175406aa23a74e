// One writer of the list at a time, between the threads of one process and
// between processes, and files that only their owner can read.
#include <functional>
#include <thread>

#include "store_fixture.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace seatenrol {
namespace {

enum class Where { kThread, kProcess };

const char* NameOf(Where where) { return where == Where::kThread ? "Thread" : "Process"; }

void PrintTo(Where where, std::ostream* out) { *out << NameOf(where); }

std::string Name(const ::testing::TestParamInfo<Where>& info) { return NameOf(info.param); }

// Runs each body at once in its own thread or child process and returns
// their results (0 to 255).
std::vector<int> RunElsewhere(Where where, const std::vector<std::function<int()>>& bodies) {
  std::vector<int> results(bodies.size(), -1);
  if (where == Where::kThread) {
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
      threads.emplace_back([&, i] { results[i] = bodies[i](); });
    }
    for (std::thread& thread : threads) thread.join();
    return results;
  }
#ifndef _WIN32
  std::vector<pid_t> children;
  for (const auto& body : bodies) {
    const pid_t child = fork();
    if (child == 0) _exit(body());
    children.push_back(child);
  }
  for (std::size_t i = 0; i < children.size(); ++i) {
    int status = 0;
    if (children[i] > 0 && waitpid(children[i], &status, 0) == children[i] && WIFEXITED(status)) {
      results[i] = WEXITSTATUS(status);
    }
  }
#endif
  return results;
}

// The lock state another writer gets, and whether its write went through.
int TryToWrite(int seed) {
  CTavConfig other;
  return other.GetLockState() * 10 + other.WriteRegAddrs(MakeList(seed));
}

ST_REGISTERINFO_LIST Stored(const std::string& primary) {
  ST_REGISTERINFO_LIST list{};
  int source = 0;
  if (ReadStoreFiles(primary, list, source) != 1) list.count = -1;
  return list;
}

class StoreLockTest : public StoreTest, public ::testing::WithParamInterface<Where> {
protected:
  void SetUp() override {
#ifdef _WIN32
    if (GetParam() == Where::kProcess) GTEST_SKIP() << "child processes are forked";
#endif
    StoreTest::SetUp();
  }
  void TearDown() override {
    SetStoreLockWaitForTesting(0);
    StoreTest::TearDown();
  }
};

TEST_P(StoreLockTest, AHeldLockKeepsEveryOtherWriterOut) {
  SetStoreLockWaitForTesting(150);
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(1)), 1);
  EXPECT_EQ(RunElsewhere(GetParam(), {[] { return TryToWrite(2); }}),
            std::vector<int>{CTavConfig::kLockBusy * 10 + 0});
  EXPECT_TRUE(SameList(Stored(primary_), MakeList(1))) << "a writer without the lock wrote";

  config_.reset();
  EXPECT_EQ(RunElsewhere(GetParam(), {[] { return TryToWrite(2); }}),
            std::vector<int>{CTavConfig::kLockHeld * 10 + 1});
  EXPECT_TRUE(SameList(Stored(primary_), MakeList(2)));
}

// Each writer counts its own entry's port up through read, update and write;
// a lost update shows as a count short of the rounds.
TEST_P(StoreLockTest, ConcurrentUpdatesAreNeverLost) {
  constexpr int kWriters = 8;
  constexpr int kRounds = 8;
  config_.reset();
  std::vector<std::function<int()>> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.push_back([w] {
      for (int round = 0; round < kRounds; ++round) {
        CTavConfig config;
        ST_REGISTERINFO_LIST list{};
        if (config.ReadRegAddrs(list) != 1) return 1;
        if (list.count <= w) list.count = w + 1;
        ++list.entries[w].port;
        if (config.WriteRegAddrs(list) != 1) return 2;
      }
      return 0;
    });
  }
  EXPECT_EQ(RunElsewhere(GetParam(), writers), std::vector<int>(kWriters, 0));
  const ST_REGISTERINFO_LIST list = Stored(primary_);
  EXPECT_EQ(list.count, kWriters);
  for (int w = 0; w < kWriters; ++w) {
    const int port = list.entries[w].port;  // a copy: the packed field is unaligned
    EXPECT_EQ(port, kRounds) << "writer " << w;
  }
}

INSTANTIATE_TEST_SUITE_P(Writers, StoreLockTest, ::testing::Values(Where::kThread, Where::kProcess),
                         Name);

TEST_F(StoreTest, AWaitingWriterGetsTheLockOnceItIsReleased) {
  int state = -1;
  std::thread waiter([&] {
    CTavConfig config;
    state = config.GetLockState();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  config_.reset();
  waiter.join();
  EXPECT_EQ(state, CTavConfig::kLockHeld);
}

#ifndef _WIN32
TEST_F(StoreTest, ALockDiesWithItsProcess) {
  config_.reset();
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    CTavConfig config;
    const char state = static_cast<char>(config.GetLockState());
    if (write(ready[1], &state, 1) != 1) _exit(1);
    for (;;) pause();
  }
  char state = 0;
  const bool told = read(ready[0], &state, 1) == 1;
  close(ready[0]);
  close(ready[1]);
  SetStoreLockWaitForTesting(100);
  const int whileHeld = TryToWrite(3);
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  const int afterDeath = TryToWrite(4);
  SetStoreLockWaitForTesting(0);

  ASSERT_TRUE(told);
  EXPECT_EQ(state, CTavConfig::kLockHeld);
  EXPECT_EQ(whileHeld, CTavConfig::kLockBusy * 10);
  EXPECT_EQ(afterDeath, CTavConfig::kLockHeld * 10 + 1);
}

TEST_F(StoreTest, EveryFileIsTheOwnersAlone) {
  config_.reset();
  std::filesystem::remove(primary_ + ".lock");
  // An older writer's temporary file, readable by all, must not pass its
  // permissions on.
  WriteRaw(StagingFilePath(primary_), {1, 2, 3});
  chmod(StagingFilePath(primary_).c_str(), 0666);
  const mode_t saved = umask(0);
  {
    CTavConfig config;
    EXPECT_EQ(config.WriteRegAddrs(MakeList(1)), 1);
    EXPECT_EQ(config.WriteRegAddrs(MakeList(2)), 1);
    EXPECT_TRUE(StageStoreFile(primary_, EncodeList(MakeList(3)).data()));
  }
  umask(saved);
  for (const char* suffix : {"", ".bak", ".lock", ".tmp"}) {
    struct stat status {};
    ASSERT_EQ(stat((primary_ + suffix).c_str(), &status), 0) << suffix;
    EXPECT_EQ(status.st_mode & 0777, 0600u) << "regaddrs.dat" << suffix;
  }
}
#endif

}  // namespace
}  // namespace seatenrol
