// A management server stand-in for the exchange benchmarks: a thread on a
// loopback UDP socket that answers every datagram with one fixed accepting
// reply, so the benchmark times the seat's side alone.
#ifndef SEATENROL_BENCH_LOOPBACK_RESPONDER_H
#define SEATENROL_BENCH_LOOPBACK_RESPONDER_H

#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace seatenrol {
namespace bench {

// The reply the responder sends: 191 bytes, error number 0, an information
// block with 52 bytes of error info (a 32-byte credential and the venue ID).
std::vector<unsigned char> AcceptingReply();

class LoopbackResponder {
public:
  LoopbackResponder();
  ~LoopbackResponder();
  LoopbackResponder(const LoopbackResponder&) = delete;
  LoopbackResponder& operator=(const LoopbackResponder&) = delete;

  // The bound port on 127.0.0.1; 0 when the socket could not be set up.
  int Port() const { return m_port; }
  std::size_t Answered() const { return m_answered.load(); }

private:
  void Serve();

  int m_socket;
  int m_port;
  std::vector<unsigned char> m_reply;
  std::atomic<bool> m_stop;
  std::atomic<std::size_t> m_answered;
  std::thread m_thread;
};

}  // namespace bench
}  // namespace seatenrol

#endif
