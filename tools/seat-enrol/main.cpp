// seat-enrol: enrols this seat with a management server from the command
// line, shows and edits the stored server list, and shows the seat's
// identity as the library sees it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/cli_args.h"
#include "common/hex.h"
#include "hostinfo/host_identity.h"
#include "log/log.h"
#include "platform/os.h"
#include "seat-enrol/console.h"
#include "seat-enrol/gbk_text.h"
#include "seat-enrol/identity_report.h"
#include "seat-enrol/outcome.h"
#include "seat-enrol/stored_list.h"
#include "seat-enrol/venue_id.h"
#include "seatenrol/c_api.h"
#include "seatenrol/debug_output.h"
#include "seatenrol/version.h"

namespace {

using seatenrol::kExitUsage;

constexpr int kExitDone = 0;
constexpr int kExitFailed = 2;
// As a shell reports a program that SIGINT ended: 128 + 2.
constexpr int kExitCancelled = 130;
constexpr std::size_t kSecretSize = 32;
// Room for 64 hex digits and any blanks around them; a larger file is no
// secret file.
constexpr std::size_t kSecretFileLimit = 4096;
// The most of the log one enrolment's --verbose shows.
constexpr std::size_t kLogShownLimit = 2 * 1024 * 1024;
constexpr int kMaxRetries = 10;
constexpr int kDefaultReplyWaitMs = 5000;
constexpr int kLongestReplyWaitMs = 600000;
constexpr int kMostSends = 8;
constexpr long long kLongestDeadlineMs = 2147483647;
// How soon a Ctrl-C reaches the library, and how often the waiting line
// is redrawn.
constexpr auto kInterruptPoll = std::chrono::milliseconds(20);
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
// Backoff between attempts: doubling from 500 ms up to 8 s, each wait drawn
// between half and all of its step so that many seats do not retry in step.
constexpr int kFirstBackoffMs = 500;
constexpr int kLongestBackoffMs = 8000;

constexpr const char* kOverview =
    "usage: seat-enrol COMMAND [OPTIONS]\n"
    "       seat-enrol --version\n"
    "commands:\n"
    "  enrol     enrols this seat with a management server\n"
    "  list      prints the stored server list and where it is kept\n"
    "  forget    removes servers from the stored server list\n"
    "  identity  prints this seat's IPv4 address, MAC address and host name\n"
    "'seat-enrol COMMAND --help' describes a command and its options.\n";

constexpr const char* kEnrolHelp =
    "usage: seat-enrol enrol --venue ID (--secret HEX | --secret-file FILE)\n"
    "                        --server HOST --port N [--wait MS] [--sends N]\n"
    "                        [--deadline MS] [--retries N] [--verbose] [--store-dir DIR]\n"
    "Enrols this seat with the management server HOST:N and records the server and\n"
    "its credential in the stored server list. Ctrl-C cancels the enrolment (exit\n"
    "status 130, the list untouched).\n"
    "  --venue ID          the venue ID: 1 to 20 printable ASCII characters\n"
    "  --secret HEX        the venue's 32-byte secret as 64 hex digits (other users\n"
    "                      can see a command line: prefer --secret-file)\n"
    "  --secret-file FILE  a file holding those 64 hex digits\n"
    "  --server HOST       the server's host name or dotted IPv4 address\n"
    "  --port N            its UDP port, 1-65535\n"
    "  --wait MS           how long to wait for a reply from each address, 1-600000\n"
    "                      (default 5000)\n"
    "  --sends N           requests per address within that wait, 1-8 (default 1):\n"
    "                      the same request again after 0.5, 1, 2, ... s while no\n"
    "                      reply came\n"
    "  --deadline MS       the longest one attempt may take, name lookup and the\n"
    "                      list's lock included (default: none)\n"
    "  --retries N         further attempts after a failure, 0-10 (default 0), after\n"
    "                      0.5, 1, 2, 4, then 8 s; a refusal, and an enrolment the\n"
    "                      server accepted but the list could not store, are not retried\n"
    "  --verbose           shows the library's debugger messages and log lines\n"
    "  --store-dir DIR     keeps the stored server list in DIR (it must exist)\n"
    "Each attempt prints one line on standard output: 'enrolled: ...', 'refused: ...'\n"
    "or 'failed: ...' with what happened, followed by the system's reason when one\n"
    "ended the attempt. On a terminal standard error shows the wait as it goes;\n"
    "otherwise it gets one line per step of the enrolment.\n";

constexpr const char* kListHelp =
    "usage: seat-enrol list [--store-dir DIR]\n"
    "Prints where the stored server list is kept, then its entries: index, server,\n"
    "port, enrolled flag and credential in hex. It tells a list not made yet apart\n"
    "from one read from its backup because the primary is damaged, and from a store\n"
    "that cannot be read at all (exit status 2).\n";

constexpr const char* kForgetHelp =
    "usage: seat-enrol forget --server HOST --port N [--store-dir DIR]\n"
    "       seat-enrol forget --all [--store-dir DIR]\n"
    "Removes the entry of the server HOST at port N, or every entry, from the stored\n"
    "server list, holding the store's lock while it does so.\n";

constexpr const char* kIdentityHelp =
    "usage: seat-enrol identity [--explain] [--store-dir DIR]\n"
    "Prints the IPv4 address, MAC address and host name that this seat's requests\n"
    "carry, each with where it came from.\n"
    "  --explain  also shows every adapter the library saw, the host name's\n"
    "             addresses and each step of the adapter rule\n";

// The library's log, beside the running program, as the library names it.
std::string LogFilePath() {
  std::string program;
  char path[seatenrol::kLogPathSize] = {};
  if (!seatenrol::ExecutablePath(program) || !seatenrol::LogPathBeside(program.c_str(), path)) {
    return "terminal_.log";
  }
  return path;
}

std::string FilesHelp() {
  return "files:\n"
         "  terminal_.log  the library's log, beside the program: " +
         LogFilePath() +
         "\n"
         "  regaddrs.dat   the stored server list, in the directory SEATENROL_CONFIG_DIR\n"
         "                 names when it is set, otherwise beside the program; now\n"
         "                 " +
         seatenrol::StorePath() +
         "\n"
         "  --store-dir DIR, on every command, keeps the list in DIR instead\n"
         "exit status: 0 done, 2 refused or failed, 64 bad arguments, 130 cancelled\n";
}

int ShowHelp(const char* text) {
  std::cout << text << FilesHelp();
  return kExitDone;
}

int ArgumentError(const std::string& command, const std::string& message) {
  std::cerr << "seat-enrol: " << message << "\n"
            << "try 'seat-enrol " << (command.empty() ? "" : command + " ") << "--help'\n";
  return kExitUsage;
}

bool AsksForHelp(const std::vector<std::string>& arguments) {
  for (std::size_t i = 2; i < arguments.size(); ++i) {
    if (arguments[i] == "--help" || arguments[i] == "-h") return true;
  }
  return false;
}

// Every command takes --store-dir.
constexpr seatenrol::AcceptedOption kStoreDirOption = {"--store-dir", true};

// Hands a --store-dir among given to the library; empty when there is none
// or the library took it, otherwise the one line that says why not.
std::string ApplyStoreDirectory(const std::vector<seatenrol::GivenOption>& given) {
  for (const seatenrol::GivenOption& option : given) {
    if (option.name != kStoreDirOption.name) continue;
    if (option.value.empty() ||
        seatenrol_set_store_directory(option.value.c_str()) != SEATENROL_OK) {
      return "--store-dir needs an existing folder, not '" + option.value + "'";
    }
  }
  return std::string();
}

// The line after a command's own, with the system's reason for what ended
// its call; nothing when there was none.
void PrintSystemReason(std::ostream& out, int code) {
  if (code == 0) return;
  const std::string reason = seatenrol::SystemReason(code);
  out << "system error " << code << ": " << (reason.empty() ? "(no text)" : reason) << "\n";
}

struct EnrolOptions {
  std::string venueID;
  unsigned char secret[kSecretSize] = {};
  std::string server;
  int port = 0;
  int replyWaitMs = 0;  // 0: the library's 5000
  int sends = 0;        // 0: one
  int deadlineMs = 0;   // 0: none
  int retries = 0;
  bool verbose = false;
};

// Empty when the file was read, otherwise why not.
std::string ReadSecretFile(const std::string& path, std::string& hex) {
  std::string content;
  int systemError = 0;
  if (!seatenrol::ReadFileFrom(path, 0, kSecretFileLimit + 1, content, systemError)) {
    const std::string reason = seatenrol::SystemReason(systemError);
    return "cannot read the secret file " + path + (reason.empty() ? "" : ": " + reason);
  }
  if (content.size() > kSecretFileLimit) {
    return "the secret file " + path + " is too large to hold 64 hex digits";
  }
  hex = seatenrol::Trimmed(content);
  return std::string();
}

// Empty when the options are complete, otherwise the one line that says why not.
std::string ParseEnrolOptions(seatenrol::ArgumentCursor& args, EnrolOptions& options) {
  const std::vector<seatenrol::AcceptedOption> accepted = {
      {"--venue", true},   {"--secret", true},   {"--secret-file", true}, {"--server", true},
      {"--port", true},    {"--wait", true},     {"--sends", true},       {"--deadline", true},
      {"--retries", true}, {"--verbose", false}, kStoreDirOption};
  std::vector<seatenrol::GivenOption> given;
  std::string error;
  if (!seatenrol::ReadOptions(args, accepted, given, error)) return error;
  error = ApplyStoreDirectory(given);
  if (!error.empty()) return error;
  std::string secretHex;
  bool haveSecret = false, havePort = false, haveVenue = false;
  for (const seatenrol::GivenOption& option : given) {
    long long number = 0;
    if (option.name == "--verbose") {
      options.verbose = true;
    } else if (option.name == "--venue") {
      options.venueID = option.value;
      haveVenue = true;
    } else if (option.name == "--secret" || option.name == "--secret-file") {
      if (haveSecret) return "give the secret once, by --secret or --secret-file";
      haveSecret = true;
      secretHex = option.value;
      if (option.name == "--secret-file") {
        const std::string problem = ReadSecretFile(option.value, secretHex);
        if (!problem.empty()) return problem;
      }
    } else if (option.name == "--server") {
      options.server = option.value;
    } else if (option.name == "--port") {
      if (!seatenrol::ParseInteger(option.value, 1, 65535, number)) {
        return "--port needs a number from 1 to 65535, not '" + option.value + "'";
      }
      options.port = static_cast<int>(number);
      havePort = true;
    } else if (option.name == "--retries") {
      if (!seatenrol::ParseInteger(option.value, 0, kMaxRetries, number)) {
        return "--retries needs a number from 0 to 10, not '" + option.value + "'";
      }
      options.retries = static_cast<int>(number);
    } else if (option.name == "--wait") {
      if (!seatenrol::ParseInteger(option.value, 1, kLongestReplyWaitMs, number)) {
        return "--wait needs a number of milliseconds from 1 to 600000, not '" + option.value + "'";
      }
      options.replyWaitMs = static_cast<int>(number);
    } else if (option.name == "--sends") {
      if (!seatenrol::ParseInteger(option.value, 1, kMostSends, number)) {
        return "--sends needs a number from 1 to 8, not '" + option.value + "'";
      }
      options.sends = static_cast<int>(number);
    } else if (option.name == "--deadline") {
      if (!seatenrol::ParseInteger(option.value, 1, kLongestDeadlineMs, number)) {
        return "--deadline needs a number of milliseconds from 1 to 2147483647, not '" +
               option.value + "'";
      }
      options.deadlineMs = static_cast<int>(number);
    }
  }
  if (!haveVenue) return "--venue is required";
  const std::string venueProblem = seatenrol::VenueIDProblem(options.venueID);
  if (!venueProblem.empty()) return venueProblem;
  if (!haveSecret) return "--secret or --secret-file is required";
  if (!seatenrol::ParseHex(secretHex, options.secret, kSecretSize)) {
    return "the secret must be 64 hex digits (32 bytes)";
  }
  if (options.server.empty() || options.server.size() > 255) {
    return "--server needs a host name or dotted address of 1 to 255 characters";
  }
  if (!havePort) return "--port is required (1-65535)";
  return std::string();
}

// Shows the library's debugger messages as they come; installed only when
// verbose.
void ShowDebugMessage(const char* text, void*) {
  std::string shown = seatenrol::GbkToUtf8(text);
  while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
  std::cerr << "debug: " << shown << "\n";
}

std::uint64_t LogSize(const std::string& path) {
  std::uint64_t size = 0;
  return seatenrol::FileSize(path.c_str(), size) ? size : 0;
}

// Shows the lines the library added to its log since the file had start
// bytes; a file that shrank was started afresh and is shown whole.
void ShowNewLogLines(const std::string& path, std::uint64_t start) {
  std::string added;
  int ignored = 0;
  if (!seatenrol::ReadFileFrom(path, start, kLogShownLimit, added, ignored)) return;
  std::istringstream lines(seatenrol::GbkToUtf8(added));
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) std::cerr << "log: " << line << "\n";
  }
}

int BackoffMs(int retry, std::mt19937& random) {
  const int step = std::min(kLongestBackoffMs, kFirstBackoffMs << std::min(retry, 4));
  return std::uniform_int_distribution<int>(step / 2, step)(random);
}

// Sleeps for milliseconds, or until Ctrl-C; false when Ctrl-C came.
bool SleepUnlessInterrupted(int milliseconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < until) {
    if (seatenrol::InterruptWatch::Requested()) return false;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        kInterruptPoll, until - std::chrono::steady_clock::now()));
  }
  return !seatenrol::InterruptWatch::Requested();
}

// One enrolment as it goes, told from its progress callback (on the
// enrolling thread) and from a ticker thread that passes a Ctrl-C on to
// the library's cancel and, on a terminal, redraws the waiting line with the
// time waited and the request's number. Without a terminal (or with
// --verbose, whose lines come meanwhile) each stage gets a line of its own.
class AttemptDisplay {
public:
  AttemptDisplay(const std::string& server, const std::string& peer, int replyWaitMs, bool liveLine,
                 seatenrol_cancel* cancel)
      : m_server(server),
        m_waiting("waiting for " + peer + " (up to " + seatenrol::SecondsText(replyWaitMs) + ")"),
        m_liveLine(liveLine),
        m_cancel(cancel),
        m_start(std::chrono::steady_clock::now()),
        m_ticker([this] { Tick(); }) {}

  ~AttemptDisplay() { Finish(); }
  AttemptDisplay(const AttemptDisplay&) = delete;
  AttemptDisplay& operator=(const AttemptDisplay&) = delete;

  static void SEATENROL_CALL Progress(void* context, std::int32_t stage, std::int32_t detail,
                                      std::int32_t elapsedMs) {
    static_cast<AttemptDisplay*>(context)->Show(stage, detail, elapsedMs);
  }

  // Stops the ticker and clears the waiting line; the outcome's line may follow.
  void Finish() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_stopped) return;
      m_stopped = true;
    }
    m_wake.notify_all();
    m_ticker.join();
    if (m_liveLine && m_drawn > 0) {
      std::cerr << "\r" << std::string(m_drawn, ' ') << "\r" << std::flush;
    }
  }

private:
  void Show(std::int32_t stage, std::int32_t detail, std::int32_t elapsedMs) {
    if (stage == SEATENROL_STAGE_SENT) m_request.store(detail);
    if (m_liveLine) return;
    const std::string after = " after " + std::to_string(elapsedMs) + " ms";
    switch (stage) {
      case SEATENROL_STAGE_RESOLVED:
        std::cerr << "seat-enrol: " << m_server << " gave " << detail
                  << (detail == 1 ? " address" : " addresses") << after << "\n";
        break;
      case SEATENROL_STAGE_SENT:
        std::cerr << "seat-enrol: request " << detail << " sent" << after << "\n";
        break;
      case SEATENROL_STAGE_REPLY:
        std::cerr << "seat-enrol: a reply with error " << detail << after << "\n";
        break;
      case SEATENROL_STAGE_STORING:
        std::cerr << "seat-enrol: storing the server list" << after << "\n";
        break;
      case SEATENROL_STAGE_DONE:
        std::cerr << "seat-enrol: done" << after << ": " << seatenrol_outcome_text(detail) << "\n";
        break;
      default:
        break;
    }
    std::cerr << std::flush;
  }

  void Tick() {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto drawn = std::chrono::steady_clock::time_point();
    bool cancelled = false;
    while (!m_stopped) {
      if (!cancelled && m_cancel != nullptr && seatenrol::InterruptWatch::Requested()) {
        seatenrol_cancel_request(m_cancel);
        cancelled = true;
      }
      const auto now = std::chrono::steady_clock::now();
      if (m_liveLine && !cancelled && now - drawn >= kRedrawInterval) {
        Draw(now);
        drawn = now;
      }
      m_wake.wait_for(lock, kInterruptPoll);
    }
  }

  void Draw(std::chrono::steady_clock::time_point now) {
    const int waitedMs = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now - m_start).count());
    char waited[32];
    std::snprintf(waited, sizeof waited, "%.1f s", waitedMs / 1000.0);
    const int request = m_request.load();
    std::string line = m_waiting + ": " + waited;
    if (request > 0) line += ", request " + std::to_string(request);
    line += "\xE2\x80\xA6";
    const std::size_t width = line.size();
    if (width < m_drawn) line += std::string(m_drawn - width, ' ');
    std::cerr << "\r" << line << std::flush;
    m_drawn = std::max(m_drawn, width);
  }

  const std::string m_server;
  const std::string m_waiting;
  const bool m_liveLine;
  seatenrol_cancel* const m_cancel;
  const std::chrono::steady_clock::time_point m_start;
  std::atomic<int> m_request{0};
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stopped = false;
  std::size_t m_drawn = 0;  // the widest line drawn, in bytes
  std::thread m_ticker;     // last: it starts once everything else is set
};

int Enrol(const EnrolOptions& options) {
  if (options.verbose) SeatenrolSetDebugSink(ShowDebugMessage, nullptr);
  const std::string logPath = LogFilePath();
  const bool liveLine = seatenrol::StandardErrorIsTerminal() && !options.verbose;
  std::mt19937 random(std::random_device{}());

  seatenrol::AttemptContext context;
  context.server = options.server;
  context.port = options.port;
  context.venueID = options.venueID;
  context.storePath = seatenrol::StorePath();
  context.replyWaitMs = options.replyWaitMs > 0 ? options.replyWaitMs : kDefaultReplyWaitMs;
  context.deadlineMs = options.deadlineMs;
  const std::string peer = options.server + ":" + std::to_string(options.port);

  // Ctrl-C cancels through this; without one it ends the program as ever.
  seatenrol_cancel* const cancel = seatenrol_cancel_create();
  std::unique_ptr<seatenrol::InterruptWatch> interrupts;
  if (cancel != nullptr) interrupts.reset(new seatenrol::InterruptWatch);

  int status = kExitFailed;
  for (int attempt = 0; attempt <= options.retries; ++attempt) {
    if (attempt > 0) {
      const int waitMs = BackoffMs(attempt - 1, random);
      std::cerr << "seat-enrol: attempt " << attempt + 1 << " of " << options.retries + 1 << " in "
                << waitMs << " ms\n";
      if (!SleepUnlessInterrupted(waitMs)) {
        std::cout << "cancelled" << std::endl;
        status = kExitCancelled;
        break;
      }
    }
    const std::uint64_t logStart = LogSize(logPath);
    seatenrol_enrolment result{};
    result.size = sizeof result;
    {
      AttemptDisplay display(options.server, peer, context.replyWaitMs, liveLine, cancel);
      seatenrol_options limits{};
      limits.size = sizeof limits;
      limits.reply_wait_ms = options.replyWaitMs;
      limits.sends = options.sends;
      limits.deadline_ms = options.deadlineMs;
      limits.cancel = cancel;
      limits.progress = &AttemptDisplay::Progress;
      limits.progress_context = &display;
      seatenrol_enrol_with(options.venueID.c_str(), options.secret, options.server.c_str(),
                           options.port, &limits, &result);
    }
    if (options.verbose) {
      ShowNewLogLines(logPath, logStart);
      if (result.server_ip[0] != '\0' && options.server != result.server_ip) {
        std::cerr << "seat-enrol: the answer came from " << result.server_ip << "\n";
      }
    }
    context.storeFolderMissing =
        result.outcome == SEATENROL_STORE_FAILED &&
        !seatenrol::IsDirectory(seatenrol::FolderOf(context.storePath).c_str());
    std::cout << seatenrol::DescribeOutcome(result, context) << "\n";
    PrintSystemReason(std::cout, result.system_error);
    std::cout << std::flush;
    if (result.outcome == SEATENROL_OK) status = kExitDone;
    if (result.outcome == SEATENROL_CANCELLED) status = kExitCancelled;
    if (!seatenrol::WorthRetrying(result) || seatenrol::InterruptWatch::Requested()) break;
  }
  interrupts.reset();
  if (cancel != nullptr) seatenrol_cancel_destroy(cancel);
  if (options.verbose) SeatenrolSetDebugSink(nullptr, nullptr);
  return status;
}

int Forget(seatenrol::ArgumentCursor& args) {
  std::vector<seatenrol::GivenOption> given;
  std::string error;
  if (!seatenrol::ReadOptions(
          args, {{"--server", true}, {"--port", true}, {"--all", false}, kStoreDirOption}, given,
          error)) {
    return ArgumentError("forget", error);
  }
  bool all = false, havePort = false;
  std::string server;
  long long port = 0;
  for (const seatenrol::GivenOption& option : given) {
    if (option.name == kStoreDirOption.name) {
      continue;
    } else if (option.name == "--all") {
      all = true;
    } else if (option.name == "--server") {
      server = option.value;
    } else if (!seatenrol::ParseInteger(option.value, 1, 65535, port)) {
      return ArgumentError("forget",
                           "--port needs a number from 1 to 65535, not '" + option.value + "'");
    } else {
      havePort = true;
    }
  }
  if (all && (havePort || !server.empty())) {
    return ArgumentError("forget",
                         "--all forgets every server: give it without --server and --port");
  }
  if (!all && (server.empty() || !havePort)) {
    return ArgumentError("forget", "forget needs --server and --port, or --all");
  }
  error = ApplyStoreDirectory(given);
  if (!error.empty()) return ArgumentError("forget", error);
  const int status = seatenrol::ForgetServers(std::cout, all, server, static_cast<int>(port));
  PrintSystemReason(std::cout, seatenrol_last_system_error());
  return status;
}

int List(seatenrol::ArgumentCursor& args) {
  std::vector<seatenrol::GivenOption> given;
  std::string error;
  if (!seatenrol::ReadOptions(args, {kStoreDirOption}, given, error)) {
    return ArgumentError("list", error);
  }
  error = ApplyStoreDirectory(given);
  if (!error.empty()) return ArgumentError("list", error);
  const int status = seatenrol::PrintStoredList(std::cout);
  PrintSystemReason(std::cout, seatenrol_last_system_error());
  return status;
}

// The identity a request carries, as the library discovers it.
int PrintRequestIdentity() {
  seatenrol_identity identity{};
  identity.size = sizeof identity;
  const bool found = seatenrol_get_identity(&identity) == SEATENROL_OK;
  const int systemError = seatenrol_last_system_error();
  const std::string notFound = "(not found)";
  std::cout << "ip: " << (found ? identity.ip : notFound) << "\n";
  std::cout << "mac: " << (found ? seatenrol::ToHex(identity.mac, sizeof identity.mac) : notFound)
            << "\n";
  std::cout << "host name: "
            << (found ? seatenrol::Escaped(identity.host_name, sizeof identity.host_name)
                      : notFound)
            << "\n";
  // Without a physical adapter an address's four bytes stand in for a MAC.
  if (found && identity.mac_source == SEATENROL_FROM_ADDRESS) {
    std::cerr << "seat-enrol: the mac is no hardware address but the bytes of "
              << static_cast<int>(identity.mac[0]) << "." << static_cast<int>(identity.mac[1])
              << "." << static_cast<int>(identity.mac[2]) << "."
              << static_cast<int>(identity.mac[3])
              << "; 'seat-enrol identity --explain' tells why\n";
  }
  PrintSystemReason(std::cout, systemError);
  return found ? kExitDone : kExitFailed;
}

int Identity(seatenrol::ArgumentCursor& args) {
  std::vector<seatenrol::GivenOption> given;
  std::string error;
  if (!seatenrol::ReadOptions(args, {{"--explain", false}, kStoreDirOption}, given, error)) {
    return ArgumentError("identity", error);
  }
  error = ApplyStoreDirectory(given);
  if (!error.empty()) return ArgumentError("identity", error);
  const bool explain = std::any_of(given.begin(), given.end(), [](const seatenrol::GivenOption& o) {
    return o.name == "--explain";
  });
  if (!explain) return PrintRequestIdentity();
  // Every interface the system knows is shown, also those the discovery
  // leaves out for want of an IPv4 address; the rule passes over them alike.
  seatenrol::HostSystem system = seatenrol::SystemHost();
  system.adapters = seatenrol::ProbeEveryInterface;
  const seatenrol::IdentityProbe probe =
      seatenrol::GatherIdentity(system, seatenrol::ExplainPhysicalAdapter);
  const seatenrol::IdentityAnalysis analysis = seatenrol::AnalyseIdentity(probe);
  std::cout << seatenrol::ExplainIdentity(probe, analysis);
  const bool found = !analysis.ip.empty() && analysis.macSource != seatenrol::Source::kNone &&
                     analysis.haveHostName;
  return found ? kExitDone : kExitFailed;
}

int ShowVersion() {
  std::cout << "seat-enrol " << SEATENROL_VERSION_STRING << "\n"
            << "library " << seatenrol_version() << ", built into this program\n";
  seatenrol::LibraryFile beside;
  if (seatenrol::FindLibraryBesideProgram(beside)) {
    std::cout << "beside it: " << beside.path << ", "
              << (beside.version.empty() ? "no version resource" : "file version " + beside.version)
              << "\n";
  }
  return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  const seatenrol::ToolEnvironment environment;
  std::vector<std::string> arguments = seatenrol::CommandLineArguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(&argument[0]);
  pointers.push_back(nullptr);
  seatenrol::ArgumentCursor args(static_cast<int>(arguments.size()), pointers.data());
  std::string command;
  if (!args.Next(command)) return ArgumentError("", "a command is required");
  if (command == "--help" || command == "-h" || command == "help") return ShowHelp(kOverview);
  if (command == "--version") return ShowVersion();
  const struct {
    const char* name;
    const char* help;
  } kCommands[] = {{"enrol", kEnrolHelp},
                   {"list", kListHelp},
                   {"forget", kForgetHelp},
                   {"identity", kIdentityHelp}};
  const char* help = nullptr;
  for (const auto& known : kCommands) {
    if (command == known.name) help = known.help;
  }
  if (help == nullptr) return ArgumentError("", "unknown command: " + command);
  if (AsksForHelp(arguments)) return ShowHelp(help);

  if (command == "enrol") {
    EnrolOptions options;
    const std::string error = ParseEnrolOptions(args, options);
    if (!error.empty()) return ArgumentError(command, error);
    return Enrol(options);
  }
  if (command == "identity") return Identity(args);
  if (command == "forget") return Forget(args);
  return List(args);
}
