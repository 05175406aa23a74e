// enrol-storm: a load generator for a running enrol-server on loopback. It
// builds valid enrolment requests the way a seat does (CPSCRegisterCommand,
// the secret sealed by SealSerial), keeps one request in flight on each of
// many sockets until the requested count is answered or the time is up, and
// reports throughput and latency percentiles.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/crypto.h"
#include "seatenrol/wire.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRequestSize = 359;
constexpr int kLostAfterMs = 1000;  // an unanswered request is counted lost, and sent anew

struct Options {
  int port = 0;
  std::string venue = "350102030405";
  std::string secretHex;
  long requests = 100000;
  int sockets = 64;
  double seconds = 30;
};

const char* const kUsage =
    "usage: enrol-storm --port N --secret HEX64 [--venue ID] [--requests N]\n"
    "                   [--sockets N] [--seconds S]\n"
    "  sends enrolment requests to an enrol-server on 127.0.0.1:N, one in flight\n"
    "  per socket, until N answers arrive or S seconds pass (defaults: venue\n"
    "  350102030405, 100000 requests, 64 sockets, 30 seconds)\n";

bool HexToBytes(const std::string& hex, unsigned char (&out)[32]) {
  if (hex.size() != 64) return false;
  for (std::size_t i = 0; i < 32; ++i) {
    const std::string pair = hex.substr(2 * i, 2);
    char* end = nullptr;
    const long value = std::strtol(pair.c_str(), &end, 16);
    if (end != pair.c_str() + 2) return false;
    out[i] = static_cast<unsigned char>(value);
  }
  return true;
}

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (option == "--port") {
      o.port = std::atoi(value);
    } else if (option == "--venue") {
      o.venue = value;
    } else if (option == "--secret") {
      o.secretHex = value;
    } else if (option == "--requests") {
      o.requests = std::atol(value);
    } else if (option == "--sockets") {
      o.sockets = std::atoi(value);
    } else if (option == "--seconds") {
      o.seconds = std::atof(value);
    } else {
      return false;
    }
  }
  return o.port > 0 && o.port < 65536 && !o.secretHex.empty() && o.venue.size() <= 20 &&
         o.requests > 0 && o.requests <= 100000000 && o.sockets > 0 && o.sockets <= 4096 &&
         o.seconds > 0 && o.seconds <= 600;
}

// One seat's request: the fixed values, the venue and its codes, a loopback
// address and a MAC of its own, the sealed secret.
bool BuildRequest(const Options& o, const unsigned char (&secret)[32], int seat,
                  std::vector<unsigned char>& out) {
  CPSCRegisterCommand request;
  unsigned char venue[20] = {};
  std::memcpy(venue, o.venue.data(), o.venue.size());
  const std::size_t codesAt = o.venue.size() == 12 ? 2 : 0;
  unsigned char level[2] = {'1', '0'};
  unsigned char country[2] = {'8', '6'};
  request.SetUserType(2);
  request.SetUserLevel(level, 2);
  request.SetCountryID(country, 2);
  request.SetProvinceID(venue + codesAt, 2);
  request.SetCityID(venue + codesAt + 2, 2);
  request.SetAreaID(venue + codesAt + 4, 2);
  request.SetCompanyID(venue, 20);
  const std::string ip =
      "127.0." + std::to_string(seat / 250) + "." + std::to_string(seat % 250 + 1);
  if (request.SetLocalIP(ip.c_str()) != 1) return false;
  const unsigned char mac[6] = {0x02,
                                0x53,
                                0x54,
                                0x00,
                                static_cast<unsigned char>(seat >> 8),
                                static_cast<unsigned char>(seat)};
  request.SetLocalMAC(mac, 6);
  unsigned char host[20] = {};
  std::snprintf(reinterpret_cast<char*>(host), sizeof host, "storm-seat-%d", seat);
  request.SetHostName(host, 20);
  unsigned char characteristic[32] = {};
  std::snprintf(reinterpret_cast<char*>(characteristic), sizeof characteristic,
                "%02X%02X%02X%02X%02X%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  request.SetMachineCharacteristic(characteristic, 32);
  unsigned char sealed[32] = {};
  if (!seatenrol::SealSerial(secret, 32, sealed, 32)) return false;
  request.SetSerialID(sealed, 32);
  CBuf buf;
  if (buf.Alloc(1024) != 1 || request.GetByteBuf(buf) != 1) return false;
  out.assign(buf.GetData(), buf.GetData() + buf.GetDataLen());
  return out.size() == kRequestSize;
}

struct Seat {
  int fd = -1;
  std::vector<unsigned char> request;
  Clock::time_point sentAt;
};

int OpenSeatSocket(int port) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<std::uint16_t>(port));
  server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

double Percentile(std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  const std::size_t at = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[at];
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  unsigned char secret[32];
  if (!ParseOptions(argc, argv, o) || !HexToBytes(o.secretHex, secret)) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  std::vector<Seat> seats(static_cast<std::size_t>(o.sockets));
  std::vector<pollfd> waiting(seats.size());
  for (std::size_t i = 0; i < seats.size(); ++i) {
    seats[i].fd = OpenSeatSocket(o.port);
    if (seats[i].fd < 0 || !BuildRequest(o, secret, static_cast<int>(i), seats[i].request)) {
      std::fprintf(stderr, "enrol-storm: cannot set up seat %zu\n", i);
      return 1;
    }
    waiting[i] = pollfd{seats[i].fd, POLLIN, 0};
  }

  std::vector<double> latencyUs;
  latencyUs.reserve(static_cast<std::size_t>(o.requests));
  long sent = 0, accepted = 0, refused = 0, malformed = 0, lost = 0;
  const auto send = [&](Seat& seat) {
    seat.sentAt = Clock::now();
    if (::send(seat.fd, seat.request.data(), seat.request.size(), 0) > 0) ++sent;
  };

  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline =
      start + std::chrono::microseconds(static_cast<long long>(o.seconds * 1e6));
  const long inFlightLimit = std::min<long>(o.requests, o.sockets);
  for (long i = 0; i < inFlightLimit; ++i) send(seats[static_cast<std::size_t>(i)]);
  long answered = 0;
  long issued = inFlightLimit;
  CBuf reply;
  reply.Alloc(1024);
  while (answered < o.requests && Clock::now() < deadline) {
    const int ready = poll(waiting.data(), waiting.size(), 50);
    const Clock::time_point now = Clock::now();
    for (std::size_t i = 0; i < seats.size() && ready > 0; ++i) {
      if (!(waiting[i].revents & POLLIN)) continue;
      Seat& seat = seats[i];
      const ssize_t n = recv(seat.fd, reply.GetData(), reply.GetCapacity(), 0);
      if (n <= 0) continue;
      latencyUs.push_back(std::chrono::duration<double, std::micro>(now - seat.sentAt).count());
      ++answered;
      reply.SetDataLen(static_cast<unsigned int>(n));
      CResponseCommandReg response;
      if (response.Create(&reply) != 1) {
        ++malformed;
      } else if (response.GetP2PError()->GetErrorNo() == 0) {
        ++accepted;
      } else {
        ++refused;
      }
      if (issued < o.requests) {
        send(seat);
        ++issued;
      } else {
        seat.sentAt = Clock::time_point();  // idle: nothing more to send
      }
    }
    // A request lost on the way (a full socket buffer drops datagrams) is
    // counted and replaced, so the storm keeps its width.
    for (Seat& seat : seats) {
      if (seat.sentAt != Clock::time_point() &&
          now - seat.sentAt > std::chrono::milliseconds(kLostAfterMs)) {
        ++lost;
        send(seat);
      }
    }
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  for (Seat& seat : seats) close(seat.fd);

  std::sort(latencyUs.begin(), latencyUs.end());
  std::printf(
      "enrol-storm: %ld answered of %ld sent in %.3f s over %d sockets: %.0f enrolments/s\n"
      "  accepted %ld, refused %ld, malformed %ld, lost %ld\n"
      "  latency us: p50 %.1f, p99 %.1f, max %.1f\n",
      answered, sent, elapsed, o.sockets, static_cast<double>(answered) / elapsed, accepted,
      refused, malformed, lost, Percentile(latencyUs, 0.50), Percentile(latencyUs, 0.99),
      latencyUs.empty() ? 0.0 : latencyUs.back());
  return answered > 0 ? 0 : 1;
}
