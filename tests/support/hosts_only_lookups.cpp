#include "hosts_only_lookups.h"

#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace seatenrol_test {

namespace {

constexpr int kNotConfined = 3;
constexpr char kNameServiceSwitch[] = "/etc/nsswitch.conf";
// glibc asks a running nscd before the switch's sources, and nscd would ask
// the name servers.
constexpr const char* kCacheDaemonSockets[] = {"/run/nscd/socket", "/var/run/nscd/socket"};

std::string Failed(const std::string& what) { return what + ": " + std::strerror(errno); }

bool WriteText(const char* path, const std::string& text) {
  std::ofstream file(path);
  file << text;
  file.close();
  return static_cast<bool>(file);
}

// The switch as the system has it, but for hosts, which come from files.
std::string HostsFromFilesOnly(std::istream& system) {
  std::string kept;
  std::string line;
  while (std::getline(system, line)) {
    if (line.compare(0, 6, "hosts:") != 0) kept += line + "\n";
  }
  return kept + "hosts: files\n";
}

// Gives this process a private mount namespace with the switch replaced;
// empty on success, else why not. A user namespace lends a non-root user the
// right to mount, its own IDs mapped to themselves. mount() is given a source
// and a type where it ignores them, since memory checkers read both.
std::string Confine() {
  const uid_t uid = geteuid();
  const gid_t gid = getegid();
  if (uid == 0) {
    if (unshare(CLONE_NEWNS) != 0) return Failed("unshare(CLONE_NEWNS)");
  } else {
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
      return Failed("unshare(CLONE_NEWUSER | CLONE_NEWNS)");
    }
    if (!WriteText("/proc/self/setgroups", "deny") ||
        !WriteText("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1") ||
        !WriteText("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1")) {
      return "the user namespace's ID maps could not be written";
    }
  }
  if (mount("none", "/", "", MS_REC | MS_PRIVATE, nullptr) != 0) {
    return Failed("making the mounts private");
  }
  std::ifstream system(kNameServiceSwitch);
  if (!system) return std::string("no ") + kNameServiceSwitch + " to replace";
  std::string scratch =
      (std::filesystem::temp_directory_path() / "seatenrol-nsswitch-XXXXXX").string();
  const int file = mkstemp(&scratch[0]);
  if (file < 0) return Failed("a scratch file");
  close(file);
  if (!WriteText(scratch.c_str(), HostsFromFilesOnly(system))) {
    unlink(scratch.c_str());
    return "the switch's copy could not be written";
  }
  const bool bound = mount(scratch.c_str(), kNameServiceSwitch, "", MS_BIND, nullptr) == 0;
  const std::string why = bound ? std::string() : Failed("binding over the switch");
  unlink(scratch.c_str());  // the mount keeps what it shows
  if (!bound) return why;
  for (const char* socket : kCacheDaemonSockets) {
    if (access(socket, F_OK) == 0 && mount("/dev/null", socket, "", MS_BIND, nullptr) != 0) {
      return Failed(std::string("covering ") + socket);
    }
  }
  return std::string();
}

void WriteAll(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    if (wrote <= 0) return;
    done += static_cast<std::size_t>(wrote);
  }
}

}  // namespace

HostsOnlyRun RunWithHostsOnlyLookups(const std::function<std::string()>& body) {
  HostsOnlyRun run;
  int ends[2];
  // Close-on-exec, so a program body starts cannot hold the pipe open.
  if (pipe2(ends, O_CLOEXEC) != 0) {
    run.output = Failed("pipe");
    return run;
  }
  const pid_t child = fork();
  if (child == 0) {
    close(ends[0]);
    const std::string why = Confine();
    int status = kNotConfined;
    std::string output = why;
    if (why.empty()) {
      status = 0;
      try {
        output = body();
      } catch (...) {
        output = "body threw";
      }
    }
    WriteAll(ends[1], output);
    _exit(status);
  }
  close(ends[1]);
  if (child < 0) {
    close(ends[0]);
    run.output = Failed("fork");
    return run;
  }
  char chunk[4096];
  ssize_t got;
  while ((got = read(ends[0], chunk, sizeof chunk)) > 0) {
    run.output.append(chunk, static_cast<std::size_t>(got));
  }
  close(ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  const bool exited = WIFEXITED(status);
  run.confined = !(exited && WEXITSTATUS(status) == kNotConfined);
  if (run.confined && !(exited && WEXITSTATUS(status) == 0)) {
    run.output += " (the child ended with wait status " + std::to_string(status) + ")";
  }
  return run;
}

}  // namespace seatenrol_test
