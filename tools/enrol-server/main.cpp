// enrol-server: a management server that enrols seats over UDP, for tests and
// demonstrations. It answers every registration request from a venue table
// and reports each request as one JSON line on standard output.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "common/cli_args.h"
#include "enrol-server/enrolment_answer.h"
#include "enrol-server/report.h"
#include "enrol-server/request_decoder.h"
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
    "  --delay MS      wait MS milliseconds before answering\n"
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

volatile sig_atomic_t g_stop = 0;

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

std::string PeerText(const sockaddr_in& peer) {
  char ip[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
  return std::string(ip) + ":" + std::to_string(ntohs(peer.sin_port));
}

void Emit(const std::string& line) {
  std::cout << line << std::endl;  // flushed: tests and scripts read it live
}

// Sleeps up to ms, returning early once a stop signal arrived.
void WaitUnlessStopped(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!g_stop && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void Serve(int socketFd, const seatenrol::VenueTable& venues,
           const seatenrol::ServerFaults& faults) {
  unsigned char datagram[2048];
  while (!g_stop) {
    pollfd waiting{socketFd, POLLIN, 0};
    // A bounded wait, so a stop signal is noticed even between datagrams.
    const int ready = poll(&waiting, 1, 200);
    if (ready <= 0) continue;
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    const ssize_t received = recvfrom(socketFd, datagram, sizeof datagram, 0,
                                      reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (received < 0) continue;
    const std::size_t length = static_cast<std::size_t>(received);
    seatenrol::DecodedRequest request;
    if (!seatenrol::DecodeRequest(datagram, length, request)) {
      Emit(seatenrol::IgnoredLine(PeerText(peer), length, "shorter than a request"));
      continue;
    }
    if (request.commandID != 127) {
      Emit(seatenrol::IgnoredLine(PeerText(peer), length, "not a registration request"));
      continue;
    }
    const seatenrol::Answer answer = seatenrol::AnswerRequest(request, venues, faults);
    Emit(seatenrol::RequestLine(request, PeerText(peer), length, answer));
    if (!answer.answered) continue;
    WaitUnlessStopped(faults.delayMs);
    if (g_stop) break;
    if (sendto(socketFd, answer.reply.data(), answer.reply.size(), 0,
               reinterpret_cast<const sockaddr*>(&peer), peerLength) < 0) {
      std::perror("enrol-server: sendto");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int status = ParseOptions(argc, argv, options))
    return status == kHelpShown ? 0 : status;

  seatenrol::VenueTable venues;
  std::string error;
  if (!venues.LoadFile(options.venues, error)) {
    std::cerr << "enrol-server: " << error << "\n";
    return 1;
  }

  const int socketFd = socket(AF_INET, SOCK_DGRAM, 0);
  if (socketFd < 0) {
    std::perror("enrol-server: socket");
    return 1;
  }
  // Room for a burst of seats enrolling at once; the system caps the request.
  const int receiveBuffer = 4 * 1024 * 1024;
  setsockopt(socketFd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<std::uint16_t>(options.port));
  inet_pton(AF_INET, options.address.c_str(), &local.sin_addr);
  socklen_t localLength = sizeof local;
  if (bind(socketFd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      getsockname(socketFd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) {
    std::perror("enrol-server: bind");
    close(socketFd);
    return 1;
  }

  struct sigaction stop {};
  stop.sa_handler = OnStopSignal;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);

  Emit(seatenrol::ListeningLine(options.address, ntohs(local.sin_port)));
  Serve(socketFd, venues, options.faults);
  close(socketFd);
  return 0;
}
