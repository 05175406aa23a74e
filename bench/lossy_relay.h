// A relay on loopback that loses datagrams: each channel has a port of its
// own that a seat sends to, forwards what it gets to a server and the
// server's replies back, and drops each datagram, either way, with a fixed
// probability drawn from the channel's own seeded generator, so a run can be
// repeated loss for loss.
#ifndef SEATENROL_BENCH_LOSSY_RELAY_H
#define SEATENROL_BENCH_LOSSY_RELAY_H

#include <atomic>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

namespace seatenrol {
namespace bench {

class LossyRelay {
public:
  // channels channels in front of 127.0.0.1:serverPort, each dropping with
  // probability loss (0 to 1), channel i seeded with seed + i.
  LossyRelay(int serverPort, int channels, double loss, std::uint32_t seed);
  ~LossyRelay();
  LossyRelay(const LossyRelay&) = delete;
  LossyRelay& operator=(const LossyRelay&) = delete;

  // False when a socket could not be set up.
  bool Ready() const { return m_ready; }
  // The port a seat sends to for channel i.
  int Port(int channel) const { return m_channels[channel].frontPort; }

private:
  struct Channel {
    int front = -1;  // the seat's side, bound to a port of its own
    int back = -1;   // connected to the server
    int frontPort = 0;
    bool seatKnown = false;
    std::uint32_t seatAddress = 0;  // network byte order, as received
    std::uint16_t seatPort = 0;
    std::mt19937 random;
  };

  void Serve();
  bool Drop(Channel& channel);

  std::vector<Channel> m_channels;
  std::bernoulli_distribution m_loss;
  bool m_ready = false;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

}  // namespace bench
}  // namespace seatenrol

#endif
