#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "platform/os.h"
#include "seat-enrol/console.h"

namespace seatenrol {

namespace {

// Lock-free, so the signal handler may set it.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the handler's flag must be lock-free");

extern "C" void MarkInterrupt(int) { interrupted.store(true); }

}  // namespace

struct ToolEnvironment::State {};

ToolEnvironment::ToolEnvironment() = default;
ToolEnvironment::~ToolEnvironment() = default;

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool FindLibraryBesideProgram(LibraryFile&) { return false; }

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

bool ReadFileFrom(const std::string& path, std::uint64_t offset, std::size_t limit,
                  std::string& content, int& systemError) {
  content.clear();
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    systemError = errno;
    return false;
  }
  const off_t end = lseek(file, 0, SEEK_END);
  const off_t start =
      end >= 0 && static_cast<std::uint64_t>(end) >= offset ? static_cast<off_t>(offset) : 0;
  bool done = lseek(file, start, SEEK_SET) >= 0;
  char chunk[4096];
  while (done && content.size() < limit) {
    const std::size_t wanted = std::min(sizeof chunk, limit - content.size());
    const ssize_t got = read(file, chunk, wanted);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      done = got == 0;
      break;
    }
    content.append(chunk, static_cast<std::size_t>(got));
  }
  if (!done) systemError = errno;
  close(file);
  return done;
}

std::string SystemReason(int code) {
  char text[512];
  SystemErrorText(code, text, sizeof text);
  std::string reason = text;
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
  return reason;
}

struct InterruptWatch::State {
  struct sigaction previous {};
};

InterruptWatch::InterruptWatch() : m_state(new State) {
  interrupted.store(false);
  struct sigaction action {};
  action.sa_handler = MarkInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &m_state->previous);
}

InterruptWatch::~InterruptWatch() { sigaction(SIGINT, &m_state->previous, nullptr); }

bool InterruptWatch::Requested() { return interrupted.load(); }

}  // namespace seatenrol
