// seat-enrol: enrols this seat with a management server from the command
// line, shows and edits the stored server list, and shows the seat's
// identity as the library sees it.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
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
constexpr std::size_t kSecretSize = 32;
constexpr int kMaxRetries = 10;
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
    "                        --server HOST --port N [--retries N] [--verbose]\n"
    "Enrols this seat with the management server HOST:N and records the server and\n"
    "its credential in the stored server list.\n"
    "  --venue ID          the venue ID: 1 to 20 printable ASCII characters\n"
    "  --secret HEX        the venue's 32-byte secret as 64 hex digits (other users\n"
    "                      can see a command line: prefer --secret-file)\n"
    "  --secret-file FILE  a file holding those 64 hex digits\n"
    "  --server HOST       the server's host name or dotted IPv4 address\n"
    "  --port N            its UDP port, 1-65535\n"
    "  --retries N         further attempts after a failure, 0-10 (default 0), after\n"
    "                      0.5, 1, 2, 4, then 8 s; a refusal, and an enrolment the\n"
    "                      server accepted but the list could not store, are not retried\n"
    "  --verbose           shows the library's debugger messages and log lines\n"
    "Each attempt prints one line on standard output: 'enrolled: ...', 'refused: ...'\n"
    "or 'failed: ...' with what happened.\n";

constexpr const char* kListHelp =
    "usage: seat-enrol list\n"
    "Prints where the stored server list is kept, then its entries: index, server,\n"
    "port, enrolled flag and credential in hex. It tells a list not made yet apart\n"
    "from one read from its backup because the primary is damaged, and from a store\n"
    "that cannot be read at all (exit status 2).\n";

constexpr const char* kForgetHelp =
    "usage: seat-enrol forget --server HOST --port N\n"
    "       seat-enrol forget --all\n"
    "Removes the entry of the server HOST at port N, or every entry, from the stored\n"
    "server list, holding the store's lock while it does so.\n";

constexpr const char* kIdentityHelp =
    "usage: seat-enrol identity [--explain]\n"
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
         "exit status: 0 done, 2 refused or failed, 64 bad arguments\n";
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

bool AsksForHelp(int argc, char** argv) {
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
  }
  return false;
}

struct EnrolOptions {
  std::string venueID;
  unsigned char secret[kSecretSize] = {};
  std::string server;
  int port = 0;
  int retries = 0;
  bool verbose = false;
};

bool ReadSecretFile(const std::string& path, std::string& hex) {
  std::ifstream in(path);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  hex = seatenrol::Trimmed(content.str());
  return true;
}

// Empty when the options are complete, otherwise the one line that says why not.
std::string ParseEnrolOptions(seatenrol::ArgumentCursor& args, EnrolOptions& options) {
  const std::vector<seatenrol::AcceptedOption> accepted = {
      {"--venue", true}, {"--secret", true},  {"--secret-file", true}, {"--server", true},
      {"--port", true},  {"--retries", true}, {"--verbose", false}};
  std::vector<seatenrol::GivenOption> given;
  std::string error;
  if (!seatenrol::ReadOptions(args, accepted, given, error)) return error;
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
      if (option.name == "--secret-file" && !ReadSecretFile(option.value, secretHex)) {
        return "cannot read the secret file " + option.value;
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

std::streamoff FileSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return in ? static_cast<std::streamoff>(in.tellg()) : 0;
}

// Shows the lines the library added to its log since the file had start
// bytes; a file that shrank was started afresh and is shown whole.
void ShowNewLogLines(const std::string& path, std::streamoff start) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  in.seekg(0, std::ios::end);
  if (in.tellg() < start) start = 0;
  in.seekg(start);
  std::ostringstream added;
  added << in.rdbuf();
  std::istringstream lines(seatenrol::GbkToUtf8(added.str()));
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

int Enrol(const EnrolOptions& options) {
  if (options.verbose) SeatenrolSetDebugSink(ShowDebugMessage, nullptr);
  const std::string logPath = LogFilePath();
  const bool showWaiting = seatenrol::StandardErrorIsTerminal();
  std::mt19937 random(std::random_device{}());

  seatenrol::AttemptContext context;
  context.server = options.server;
  context.port = options.port;
  context.venueID = options.venueID;
  context.storePath = seatenrol::StorePath();
  const std::string peer = options.server + ":" + std::to_string(options.port);
  const std::string waiting = "waiting for " + peer + " (up to 5 s)\xE2\x80\xA6";

  int status = kExitFailed;
  for (int attempt = 0; attempt <= options.retries; ++attempt) {
    if (attempt > 0) {
      const int waitMs = BackoffMs(attempt - 1, random);
      std::cerr << "seat-enrol: attempt " << attempt + 1 << " of " << options.retries + 1 << " in "
                << waitMs << " ms\n";
      std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    }
    const std::streamoff logStart = FileSize(logPath);
    // Verbose output may come while waiting, so the line then stays put;
    // otherwise blanks overwrite it once the wait is over.
    if (showWaiting) std::cerr << waiting << (options.verbose ? "\n" : "") << std::flush;
    seatenrol_enrolment result{};
    result.size = sizeof result;
    seatenrol_enrol(options.venueID.c_str(), options.secret, options.server.c_str(), options.port,
                    &result);
    if (showWaiting && !options.verbose) {
      std::cerr << "\r" << std::string(waiting.size(), ' ') << "\r" << std::flush;
    }
    if (options.verbose) {
      ShowNewLogLines(logPath, logStart);
      if (result.server_ip[0] != '\0' && options.server != result.server_ip) {
        std::cerr << "seat-enrol: the answer came from " << result.server_ip << "\n";
      }
    }
    std::cout << seatenrol::DescribeOutcome(result, context) << std::endl;
    if (result.outcome == SEATENROL_OK) status = kExitDone;
    if (!seatenrol::WorthRetrying(result.outcome)) break;
  }
  if (options.verbose) SeatenrolSetDebugSink(nullptr, nullptr);
  return status;
}

int Forget(seatenrol::ArgumentCursor& args) {
  std::vector<seatenrol::GivenOption> given;
  std::string error;
  if (!seatenrol::ReadOptions(args, {{"--server", true}, {"--port", true}, {"--all", false}}, given,
                              error)) {
    return ArgumentError("forget", error);
  }
  bool all = false, havePort = false;
  std::string server;
  long long port = 0;
  for (const seatenrol::GivenOption& option : given) {
    if (option.name == "--all") {
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
  return seatenrol::ForgetServers(std::cout, all, server, static_cast<int>(port));
}

// The identity a request carries, as the library discovers it.
int PrintRequestIdentity() {
  seatenrol_identity identity{};
  identity.size = sizeof identity;
  const bool found = seatenrol_get_identity(&identity) == SEATENROL_OK;
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
  return found ? kExitDone : kExitFailed;
}

int Identity(seatenrol::ArgumentCursor& args) {
  std::vector<seatenrol::GivenOption> given;
  std::string error;
  if (!seatenrol::ReadOptions(args, {{"--explain", false}}, given, error)) {
    return ArgumentError("identity", error);
  }
  if (given.empty()) return PrintRequestIdentity();
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
  seatenrol::ArgumentCursor args(argc, argv);
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
  if (AsksForHelp(argc, argv)) return ShowHelp(help);

  if (command == "enrol") {
    EnrolOptions options;
    const std::string error = ParseEnrolOptions(args, options);
    if (!error.empty()) return ArgumentError(command, error);
    return Enrol(options);
  }
  if (command == "identity") return Identity(args);
  if (command == "forget") return Forget(args);
  std::string extra;
  if (args.Next(extra)) return ArgumentError(command, "unexpected argument: " + extra);
  return seatenrol::PrintStoredList(std::cout);
}
