// enrol-server: a management server that enrols seats over UDP, for tests and
// demonstrations. It answers every registration request from a venue table
// and reports each datagram as one JSON line on standard output.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "common/cli_args.h"
#include "enrol-server/enrolment_answer.h"
#include "enrol-server/output_queue.h"
#include "enrol-server/report.h"
#include "enrol-server/serve_loop.h"
#include "enrol-server/venue_table.h"

namespace {

using seatenrol::kExitUsage;

constexpr const char* kUsage =
    "usage: enrol-server --venues FILE [--address IPV4] [--port N]\n"
    "                    [--drop] [--delay MS] [--refuse CODE] [--truncate N]\n"
    "                    [--flag-byte B] [--info-len N] [--garbage]\n"
    "  --venues FILE   venue table: one \"VENUE_ID SECRET\" per line, SECRET as 64 hex\n"
    "                  digits, '#' starts a comment\n"
    "  --address IPV4  address to listen on (default 127.0.0.1)\n"
    "  --port N        UDP port (default 0: any free port; the bound port is reported)\n"
    "faults, for testing seats:\n"
    "  --drop          never answer\n"
    "  --delay MS      answer each request MS milliseconds late (others are not held up)\n"
    "  --refuse CODE   answer with error number CODE\n"
    "  --truncate N    send only the first N bytes of the answer\n"
    "  --flag-byte B   send B (0-255) as the info flag byte\n"
    "  --info-len N    declare N bytes of error info and send as many as fit in 1024\n"
    "  --garbage       send random bytes of the answer's size\n";

struct Options {
  std::string venues;
  std::string address = "127.0.0.1";
  int port = 0;
  seatenrol::ServerFaults faults;
};

// ParseOptions' result when it printed the usage on request.
constexpr int kHelpShown = -1;

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) { g_stop = 1; }

int UsageError(const std::string& message) {
  std::cerr << "enrol-server: " << message << "\n" << kUsage;
  return kExitUsage;
}

// 0 when the options are complete, kHelpShown, or the exit status of a bad
// command line.
int ParseOptions(int argc, char** argv, Options& options) {
  seatenrol::ArgumentCursor args(argc, argv);
  std::string option;
  while (args.Next(option)) {
    if (option == "--help" || option == "-h") {
      std::cout << kUsage;
      return kHelpShown;
    }
    if (option == "--drop") {
      options.faults.drop = true;
      continue;
    }
    if (option == "--garbage") {
      options.faults.garbage = true;
      continue;
    }
    std::string value;
    if (!args.Next(value)) return UsageError(option + " needs a value");
    long long number = 0;
    const auto integer = [&](long long low, long long high) {
      return seatenrol::ParseInteger(value, low, high, number);
    };
    if (option == "--venues") {
      options.venues = value;
    } else if (option == "--address") {
      in_addr parsed{};
      if (inet_pton(AF_INET, value.c_str(), &parsed) != 1) {
        return UsageError("--address needs a dotted IPv4 address");
      }
      options.address = value;
    } else if (option == "--port" && integer(0, 65535)) {
      options.port = static_cast<int>(number);
    } else if (option == "--delay" && integer(0, 600000)) {
      options.faults.delayMs = static_cast<int>(number);
    } else if (option == "--refuse" && integer(INT32_MIN, INT32_MAX)) {
      options.faults.errorNo = static_cast<int>(number);
    } else if (option == "--truncate" && integer(0, 65507)) {
      options.faults.truncate = static_cast<std::size_t>(number);
    } else if (option == "--flag-byte" && integer(0, 255)) {
      options.faults.flagByte = static_cast<int>(number);
    } else if (option == "--info-len" && integer(INT32_MIN, INT32_MAX)) {
      options.faults.infoLength = static_cast<int>(number);
    } else {
      return UsageError("bad option or value: " + option + " " + value);
    }
  }
  if (options.venues.empty()) return UsageError("--venues is required");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that goes away (enrol-server | head -1) must not end the
  // serving: writes then fail with EPIPE and the lines are dropped.
  signal(SIGPIPE, SIG_IGN);
  Options options;
  if (const int status = ParseOptions(argc, argv, options))
    return status == kHelpShown ? 0 : status;

  seatenrol::VenueTable venues;
  std::string error;
  if (!venues.LoadFile(options.venues, error)) {
    std::cerr << "enrol-server: " << error << "\n";
    return 1;
  }

  const int socketFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (socketFd < 0) {
    std::perror("enrol-server: socket");
    return 1;
  }
  seatenrol::PrepareServingSocket(socketFd);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<std::uint16_t>(options.port));
  inet_pton(AF_INET, options.address.c_str(), &local.sin_addr);
  socklen_t localLength = sizeof local;
  if (bind(socketFd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      getsockname(socketFd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) {
    std::cerr << "enrol-server: cannot bind " << options.address << ":" << options.port << ": "
              << std::strerror(errno) << "\n";
    close(socketFd);
    return 1;
  }

  struct sigaction stop {};
  stop.sa_handler = OnStopSignal;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);

  const int outputFd = seatenrol::OpenOutput();
  seatenrol::OutputQueue output;
  output.Add(seatenrol::ListeningLine(options.address, ntohs(local.sin_port)));
  output.Flush(seatenrol::WriterFor(outputFd));
  seatenrol::Serve(socketFd, outputFd, output, venues, options.faults, g_stop);
  close(socketFd);
  return 0;
}
