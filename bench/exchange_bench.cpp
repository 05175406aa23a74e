// The registration exchange against a loopback responder, next to a bare
// socket round trip of the same sizes; the full enrolment with its durable
// list update, next to the store write alone.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "log/log.h"
#include "loopback_responder.h"
#include "platform/config_store.h"
#include "scratch_directory.h"
#include "seatenrol/session.h"

namespace {

using seatenrol::bench::LoopbackResponder;
using seatenrol::bench::ScratchDirectory;

constexpr std::size_t kRequestSize = 359;
constexpr int kWaitMs = 5000;

struct Enrolment {
  unsigned char venueID[20] = "350102030405";
  unsigned char secret[32];
  unsigned char server[16] = "127.0.0.1";
  Enrolment() {
    for (std::size_t i = 0; i < sizeof secret; ++i) secret[i] = static_cast<unsigned char>(i * 7);
  }
};

// The log and the stored list go to a scratch directory, never beside the
// benchmark program.
const ScratchDirectory& Scratch() {
  static const ScratchDirectory scratch;
  static const bool redirected = [] {
    seatenrol::SetLogDirectory(scratch.Path().c_str());
    setenv("SEATENROL_CONFIG_DIR", scratch.Path().c_str(), 1);
    return true;
  }();
  (void)redirected;
  return scratch;
}

// The floor: what any seat must do for one exchange on a new socket.
bool BareRoundTrip(int port, const unsigned char* request, unsigned char* reply,
                   std::size_t replyCapacity) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<std::uint16_t>(port));
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0 &&
            send(fd, request, kRequestSize, 0) == static_cast<ssize_t>(kRequestSize);
  pollfd waiting{fd, POLLIN, 0};
  ok = ok && poll(&waiting, 1, kWaitMs) == 1 && recv(fd, reply, replyCapacity, 0) > 0;
  close(fd);
  return ok;
}

void BM_BareRoundTrip(benchmark::State& state) {
  LoopbackResponder responder;
  unsigned char request[kRequestSize] = {0, 0, 0, 127};
  unsigned char reply[1024];
  for (auto _ : state) {
    if (!BareRoundTrip(responder.Port(), request, reply, sizeof reply)) {
      state.SkipWithError("bare round trip failed");
      break;
    }
  }
}
BENCHMARK(BM_BareRoundTrip)->UseRealTime();

void BM_Register(benchmark::State& state) {
  Scratch();
  LoopbackResponder responder;
  Enrolment e;
  CRegisterSession session;
  if (session.Init() != 1) state.SkipWithError("Init failed");
  for (auto _ : state) {
    RegError result;
    if (session.Register(result, e.venueID, e.secret, e.server, responder.Port()) != 1) {
      state.SkipWithError("Register failed");
      break;
    }
  }
}
BENCHMARK(BM_Register)->UseRealTime();

void BM_RegisterServer(benchmark::State& state) {
  Scratch();
  LoopbackResponder responder;
  Enrolment e;
  CRegisterSession session;
  for (auto _ : state) {
    if (!session.RegisterServer(e.venueID, e.secret, e.server, responder.Port())) {
      state.SkipWithError("RegisterServer failed");
      break;
    }
  }
}
BENCHMARK(BM_RegisterServer)->UseRealTime();

void BM_WriteRegAddrs(benchmark::State& state) {
  Scratch();
  seatenrol::ST_REGISTERINFO_LIST list;
  std::memset(&list, 0, sizeof list);
  list.count = 1;
  std::strcpy(list.entries[0].serverName, "127.0.0.1");
  list.entries[0].port = 7000;
  list.entries[0].enrolled = 1;
  seatenrol::CTavConfig config;
  for (auto _ : state) {
    if (config.WriteRegAddrs(list) != 1) {
      state.SkipWithError("WriteRegAddrs failed");
      break;
    }
  }
}
BENCHMARK(BM_WriteRegAddrs)->UseRealTime();

}  // namespace
