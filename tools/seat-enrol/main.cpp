// seat-enrol: enrols this seat with a management server from the command
// line, shows the stored server list and the seat's identity as the library
// sees them.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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
#include "platform/config_store.h"
#include "seat-enrol/gbk_text.h"
#include "seatenrol/debug_output.h"
#include "seatenrol/session.h"

namespace {

using seatenrol::kExitUsage;

constexpr int kExitDone = 0;
constexpr int kExitFailed = 2;
constexpr std::size_t kSecretSize = 32;
constexpr std::size_t kVenueIDWidth = 20;
constexpr int kMaxRetries = 10;
// Backoff between attempts: doubling from 500 ms up to 8 s, each wait drawn
// between half and all of its step so that many seats do not retry in step.
constexpr int kFirstBackoffMs = 500;
constexpr int kLongestBackoffMs = 8000;
// The debugger message with which the library reports a refusal; the error
// number follows its last colon.
constexpr char kRefusalMarker[] = "CLoginThread::Register()";

constexpr const char* kUsage =
    "usage: seat-enrol enrol --venue ID (--secret HEX | --secret-file FILE)\n"
    "                        --server HOST --port N [--retries N] [--verbose]\n"
    "       seat-enrol list\n"
    "       seat-enrol identity\n"
    "  enrol     enrols this seat with the management server HOST:N\n"
    "            --venue ID          the venue ID, 1 to 20 characters\n"
    "            --secret HEX        the venue's 32-byte secret as 64 hex digits\n"
    "            --secret-file FILE  a file holding those 64 hex digits\n"
    "            --retries N         new attempts after a failure, 0-10 (default 0)\n"
    "            --verbose           show the library's diagnostics and log lines\n"
    "  list      prints the stored server list\n"
    "  identity  prints the IPv4 address, MAC address and host name of this seat\n"
    "exit status: 0 done, 2 refused or failed, 64 bad arguments\n";

int UsageError(const std::string& message) {
  std::cerr << "seat-enrol: " << message << "\n" << kUsage;
  return kExitUsage;
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

// 0 when the options are complete, otherwise the exit status.
int ParseEnrolOptions(seatenrol::ArgumentCursor& args, EnrolOptions& options) {
  std::string option, value, secretHex;
  bool haveSecret = false, havePort = false;
  while (args.Next(option)) {
    if (option == "--verbose") {
      options.verbose = true;
      continue;
    }
    if (!args.Next(value)) return UsageError(option + " needs a value");
    long long number = 0;
    if (option == "--venue") {
      options.venueID = value;
    } else if (option == "--secret" || option == "--secret-file") {
      if (haveSecret) return UsageError("give the secret once, by --secret or --secret-file");
      haveSecret = true;
      secretHex = value;
      if (option == "--secret-file" && !ReadSecretFile(value, secretHex)) {
        return UsageError("cannot read the secret file " + value);
      }
    } else if (option == "--server") {
      options.server = value;
    } else if (option == "--port" && seatenrol::ParseInteger(value, 1, 65535, number)) {
      options.port = static_cast<int>(number);
      havePort = true;
    } else if (option == "--retries" && seatenrol::ParseInteger(value, 0, kMaxRetries, number)) {
      options.retries = static_cast<int>(number);
    } else {
      return UsageError("bad option or value: " + option + " " + value);
    }
  }
  if (options.venueID.empty() || options.venueID.size() > kVenueIDWidth) {
    return UsageError("--venue needs an ID of 1 to 20 characters");
  }
  if (!haveSecret) return UsageError("--secret or --secret-file is required");
  if (!seatenrol::ParseHex(secretHex, options.secret, kSecretSize)) {
    return UsageError("the secret must be 64 hex digits (32 bytes)");
  }
  if (options.server.empty() || options.server.size() > 255) {
    return UsageError("--server needs a host name or dotted address of 1 to 255 characters");
  }
  if (!havePort) return UsageError("--port is required (1-65535)");
  return 0;
}

// The library's debugger messages of one attempt, shown as they come when
// verbose.
struct DebugMessages {
  bool verbose = false;
  std::vector<std::string> texts;
};

void OnDebugMessage(const char* text, void* context) {
  auto* messages = static_cast<DebugMessages*>(context);
  messages->texts.emplace_back(text);
  if (messages->verbose) {
    std::string shown = seatenrol::GbkToUtf8(text);
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
    std::cerr << "debug: " << shown << "\n";
  }
}

// The error number of a refusal the library reported, if it reported one.
bool FindRefusal(const DebugMessages& messages, long long& errorNo) {
  for (const std::string& text : messages.texts) {
    if (text.find(kRefusalMarker) == std::string::npos) continue;
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) continue;
    const std::string number = seatenrol::Trimmed(text.substr(colon + 1));
    if (seatenrol::ParseInteger(number, INT32_MIN, INT32_MAX, errorNo)) return true;
  }
  return false;
}

// The library's log file lies beside the running program.
std::string LogFilePath() {
  char path[4096] = {};
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "terminal_.log";
  std::string program(path, static_cast<std::size_t>(length));
  return program.substr(0, program.rfind('/') + 1) + "terminal_.log";
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

int Enrol(EnrolOptions& options) {
  unsigned char venueID[kVenueIDWidth + 1] = {};
  std::memcpy(venueID, options.venueID.data(), options.venueID.size());
  std::vector<unsigned char> server(options.server.begin(), options.server.end());
  server.push_back('\0');

  DebugMessages messages;
  messages.verbose = options.verbose;
  SeatenrolSetDebugSink(OnDebugMessage, &messages);
  const std::string logPath = LogFilePath();
  std::mt19937 random(std::random_device{}());

  int status = kExitFailed;
  for (int attempt = 0; attempt <= options.retries; ++attempt) {
    if (attempt > 0) {
      const int waitMs = BackoffMs(attempt - 1, random);
      std::cerr << "seat-enrol: attempt " << attempt + 1 << " of " << options.retries + 1 << " in "
                << waitMs << " ms\n";
      std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    }
    messages.texts.clear();
    const std::streamoff logStart = FileSize(logPath);
    CRegisterSession session;
    const bool enrolled =
        session.RegisterServer(venueID, options.secret, server.data(), options.port);
    if (options.verbose) ShowNewLogLines(logPath, logStart);
    long long errorNo = 0;
    if (enrolled) {
      std::cout << "enrolled: " << options.server << ":" << options.port << " accepted venue "
                << options.venueID << "\n";
      status = kExitDone;
      break;
    }
    if (FindRefusal(messages, errorNo)) {
      // Asking again with the same venue and secret gets the same answer.
      std::cout << "refused: " << options.server << ":" << options.port
                << " refused the enrolment with error " << errorNo << "\n";
      break;
    }
    std::cout << "failed: no enrolment with " << options.server << ":" << options.port
              << " (no answer, unresolved name or unusable reply)\n";
  }
  SeatenrolSetDebugSink(nullptr, nullptr);
  return status;
}

// Printable ASCII as it is, other bytes as \xNN.
std::string Printable(const char* text, std::size_t width) {
  std::string out;
  for (std::size_t i = 0; i < width && text[i] != '\0'; ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      out += text[i];
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
    }
  }
  return out;
}

int List() {
  seatenrol::CTavConfig config;
  seatenrol::ST_REGISTERINFO_LIST list;
  std::memset(&list, 0, sizeof list);
  if (config.ReadRegAddrs(list) != 1 || config.GetReadSource() == CTavConfig::kReadMissing) {
    std::cout << "no stored server list\n";
    return kExitDone;
  }
  std::cout << "servers: " << list.count << "\n";
  for (int i = 0; i < list.count; ++i) {
    const seatenrol::ST_REGISTERINFO& entry = list.entries[i];
    char line[512];
    std::snprintf(line, sizeof line, "%2d  %-32s  port %-5d  enrolled %d  credential %s", i,
                  Printable(entry.serverName, sizeof entry.serverName).c_str(), entry.port,
                  entry.enrolled,
                  seatenrol::ToHex(entry.credential, sizeof entry.credential).c_str());
    std::cout << line << "\n";
  }
  return kExitDone;
}

int Identity() {
  seatenrol::CHostIdentity identity;
  const char* ip = identity.GetSystemIP();
  unsigned char mac[seatenrol::CHostIdentity::kMacSize] = {};
  const bool haveMac = identity.GetSystemMac(mac, sizeof mac) == 1;
  char name[seatenrol::CHostIdentity::kHostNameLimit + 1] = {};
  const bool haveName = identity.GetHostName(reinterpret_cast<unsigned char*>(name),
                                             seatenrol::CHostIdentity::kHostNameLimit) == 1;
  std::cout << "ip: " << (ip != nullptr ? ip : "(not found)") << "\n";
  std::cout << "mac: " << (haveMac ? seatenrol::ToHex(mac, sizeof mac) : "(not found)") << "\n";
  std::cout << "host name: " << (haveName ? Printable(name, sizeof name - 1) : "(not found)")
            << "\n";
  return ip != nullptr && haveMac && haveName ? kExitDone : kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  seatenrol::ArgumentCursor args(argc, argv);
  std::string command;
  if (!args.Next(command)) return UsageError("a command is required");
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return kExitDone;
  }
  if (command == "enrol") {
    EnrolOptions options;
    if (const int status = ParseEnrolOptions(args, options)) return status;
    return Enrol(options);
  }
  std::string extra;
  if (args.Next(extra)) return UsageError("unexpected argument: " + extra);
  if (command == "list") return List();
  if (command == "identity") return Identity();
  return UsageError("unknown command: " + command);
}
