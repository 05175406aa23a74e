// Programs the host starts while the library holds a descriptor open must
// not get it: a program is started from inside the system call that uses
// each one, and its own list of descriptors is read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ostream>
#include <string>
#include <vector>

#include "hostinfo/host_probe.h"
#include "joints_support.h"
#include "log/log.h"
#include "net_test_util.h"
#include "seatenrol/transport.h"

extern char** environ;

namespace {

using seatenrol::Posix;

// What a program started now holds: the targets of its descriptors as
// `ls -l /proc/self/fd` lists them ("N -> target" lines).
std::string ChildDescriptors() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return std::string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  char ls[] = "ls", longForm[] = "-l", directory[] = "/proc/self/fd";
  char* argv[] = {ls, longForm, directory, nullptr};
  pid_t child = -1;
  const bool started = posix_spawn(&child, "/bin/ls", &actions, nullptr, argv, environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  std::string listing;
  char chunk[4096];
  ssize_t length = 0;
  while (started && (length = read(ends[0], chunk, sizeof chunk)) > 0)
    listing.append(chunk, length);
  close(ends[0]);
  int status = 0;
  if (started) waitpid(child, &status, 0);
  return listing;
}

std::string TargetOf(int descriptor) {
  char target[4096];
  const ssize_t length =
      readlink(("/proc/self/fd/" + std::to_string(descriptor)).c_str(), target, sizeof target);
  return length > 0 ? std::string(target, length) : std::string();
}

// What the program started from inside the library's call saw, and what it
// must not have seen.
std::string seen;
std::string held;

bool Inherited() { return seen.find("-> " + held + "\n") != std::string::npos; }

void Observe(int descriptor) {
  if (!seen.empty()) return;
  held = TargetOf(descriptor);
  seen = ChildDescriptors();
}

ssize_t SendObserved(int socket, const void* data, size_t length, int flags) {
  Observe(socket);
  return ::send(socket, data, length, flags);
}

int RecvmmsgObserved(int socket, mmsghdr* messages, unsigned int count, int flags,
                     timespec* limit) {
  Observe(socket);
  return ::recvmmsg(socket, messages, count, flags, limit);
}

// The log line asks for the host name while the file is open.
int GethostnameObserved(char* name, size_t size) noexcept {
  if (seen.empty()) seen = ChildDescriptors();
  return ::gethostname(name, size);
}

struct HeldOpen {
  const char* name;
  void (*install)();
  void (*use)(const std::string& directory);
};

void PrintTo(const HeldOpen& c, std::ostream* out) { *out << c.name; }

const HeldOpen kHeldOpen[] = {
    {"Endpoint", [] { Posix().send = SendObserved; },
     [](const std::string&) {
       seatenrol_test::LoopbackSocket peer;
       CP2PCommunication endpoint;
       ASSERT_NE(endpoint.Open(2), 0);
       ASSERT_NE(endpoint.SetPeerAddr(peer.Address()), 0);
       EXPECT_EQ(endpoint.SendTo("x", 1), 1);
     }},
    {"InterfaceDump", [] { Posix().recvmmsg = RecvmmsgObserved; },
     [](const std::string&) {
       std::vector<seatenrol::AdapterRecord> adapters;
       EXPECT_TRUE(seatenrol::ProbeAdapters(adapters));
     }},
    {"Log", [] { Posix().gethostname = GethostnameObserved; },
     [](const std::string& directory) {
       held = directory + "/terminal_.log";
       EXPECT_EQ(seatenrol::WriteLog("a line\n"), 1);
     }},
};

class Inheritance : public ::testing::TestWithParam<HeldOpen> {
protected:
  seatenrol_test::ScratchDirectory directory;
  seatenrol_test::RestoreSystemCalls restore;
};

TEST_P(Inheritance, ProgramsStartedMeanwhileGetNothing) {
  seen.clear();
  held.clear();
  GetParam().install();
  GetParam().use(directory.Path());
  ASSERT_FALSE(seen.empty()) << "no program was started";
  ASSERT_FALSE(held.empty());
  EXPECT_FALSE(Inherited()) << held << " in\n" << seen;
}

INSTANTIATE_TEST_SUITE_P(Descriptors, Inheritance, ::testing::ValuesIn(kHeldOpen),
                         [](const ::testing::TestParamInfo<HeldOpen>& info) {
                           return std::string(info.param.name);
                         });

// The listing does show what a program inherits.
TEST(Inheritance, ProgramsStartedGetWhatIsLeftInheritable) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  held = TargetOf(ends[0]);
  seen = ChildDescriptors();
  close(ends[0]);
  close(ends[1]);
  EXPECT_TRUE(Inherited()) << held << " not in\n" << seen;
}

}  // namespace
