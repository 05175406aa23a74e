// One writer of the list at a time, between the threads of one process and
// between processes, and files that only their owner can read.
#include <functional>
#include <thread>

#include "session/server_list.h"
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

// What another object gets: whether its read went through, whether its
// write did, and the lock state of a section it opens afterwards.
int TryToWrite(int seed) {
  CTavConfig other;
  ST_REGISTERINFO_LIST list{};
  const int read = other.ReadRegAddrs(list);
  const int written = other.WriteRegAddrs(MakeList(seed));
  return read * 100 + written * 10 + OpenStoreSection(other);
}

// A host's object that has read and written the list; 1 when both went
// through and it holds no lock after them.
int UseLikeAHost(CTavConfig& config) {
  ST_REGISTERINFO_LIST list{};
  return config.ReadRegAddrs(list) == 1 && config.WriteRegAddrs(MakeList(5)) == 1 &&
         config.GetLockState() == CTavConfig::kLockNone;
}

#ifndef _WIN32
// A process that keeps an object after use(object), until it is killed.
class KeptObject {
public:
  explicit KeptObject(int (*use)(CTavConfig&)) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      CTavConfig config;
      const char state = static_cast<char>(use(config));
      if (write(ready[1], &state, 1) != 1) _exit(1);
      for (;;) pause();
    }
    char state = 0;
    if (pid_ > 0 && read(ready[0], &state, 1) == 1) state_ = state;
    close(ready[0]);
    close(ready[1]);
  }
  ~KeptObject() { Kill(); }
  KeptObject(const KeptObject&) = delete;
  KeptObject& operator=(const KeptObject&) = delete;

  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  // What use returned; -1 when the process did not tell.
  int State() const { return state_; }

private:
  pid_t pid_ = -1;
  int state_ = -1;
};
#endif

StoreResult Enrol(const char* name) { return StoreServer(name, 7000, 'c'); }

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

TEST_P(StoreLockTest, AnOpenSectionKeepsEveryOtherReaderAndWriterOut) {
  SetStoreLockWaitForTesting(150);
  ASSERT_EQ(OpenStoreSection(*config_), CTavConfig::kLockHeld);
  EXPECT_EQ(config_->IsLocked(), 1);
  // The section's own object reads and writes under the lock it holds.
  ASSERT_EQ(config_->WriteRegAddrs(MakeList(1)), 1);
  ST_REGISTERINFO_LIST list{};
  ASSERT_EQ(config_->ReadRegAddrs(list), 1);
  EXPECT_EQ(RunElsewhere(GetParam(), {[] { return TryToWrite(2); }}),
            std::vector<int>{CTavConfig::kLockBusy});
  EXPECT_TRUE(SameList(Stored(primary_), MakeList(1))) << "a writer without the lock wrote";

  CloseStoreSection(*config_);
  EXPECT_EQ(config_->GetLockState(), CTavConfig::kLockNone);
  EXPECT_EQ(RunElsewhere(GetParam(), {[] { return TryToWrite(2); }}),
            std::vector<int>{110 + CTavConfig::kLockHeld});
  EXPECT_TRUE(SameList(Stored(primary_), MakeList(2)));
}

// Each writer counts its own entry's port up through read, update and write;
// a lost update shows as a count short of the rounds.
TEST_P(StoreLockTest, ConcurrentUpdatesAreNeverLost) {
  constexpr int kWriters = 8;
  constexpr int kRounds = 8;
  std::vector<std::function<int()>> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.push_back([w] {
      for (int round = 0; round < kRounds; ++round) {
        CTavConfig config;
        const StoreSection section(config);
        if (section.State() != CTavConfig::kLockHeld) return 3;
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

// A host may keep objects for as long as it likes, in this process or
// another: an enrolment's section, given no time to wait at all, still gets
// the lock at once.
TEST_F(StoreTest, ObjectsKeptByHostsLockNothing) {
  ASSERT_EQ(UseLikeAHost(*config_), 1);
  SetStoreLockWaitForTesting(1);
  EXPECT_EQ(Enrol("mgmt.example"), StoreResult::kStored);
  EXPECT_GE(FindServer(Stored(primary_), "mgmt.example", 7000), 0);
#ifndef _WIN32
  KeptObject host(UseLikeAHost);
  EXPECT_EQ(host.State(), 1);
  EXPECT_EQ(Enrol("other.example"), StoreResult::kStored);
  EXPECT_GE(FindServer(Stored(primary_), "other.example", 7000), 0);
#endif
}

TEST_F(StoreTest, AWaitingWriterGetsTheLockOnceItIsReleased) {
  ASSERT_EQ(OpenStoreSection(*config_), CTavConfig::kLockHeld);
  int state = -1;
  std::thread waiter([&] {
    CTavConfig config;
    state = OpenStoreSection(config);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  CloseStoreSection(*config_);
  waiter.join();
  EXPECT_EQ(state, CTavConfig::kLockHeld);
}

#ifndef _WIN32
TEST_F(StoreTest, ALockDiesWithItsProcess) {
  KeptObject holder([](CTavConfig& config) { return OpenStoreSection(config); });
  EXPECT_EQ(holder.State(), CTavConfig::kLockHeld);
  SetStoreLockWaitForTesting(100);
  EXPECT_EQ(TryToWrite(3), CTavConfig::kLockBusy);
  holder.Kill();
  EXPECT_EQ(TryToWrite(4), 110 + CTavConfig::kLockHeld);
}

TEST_F(StoreTest, EveryFileIsTheOwnersAlone) {
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
