#include "lossy_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace seatenrol {
namespace bench {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  return address;
}

}  // namespace

LossyRelay::LossyRelay(int serverPort, int channels, double loss, std::uint32_t seed)
    : m_channels(static_cast<std::size_t>(channels)), m_loss(loss) {
  for (int i = 0; i < channels; ++i) {
    Channel& channel = m_channels[static_cast<std::size_t>(i)];
    channel.random.seed(seed + static_cast<std::uint32_t>(i));
    channel.front = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    channel.back = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (channel.front < 0 || channel.back < 0) return;
    sockaddr_in front = Loopback(0);
    socklen_t length = sizeof front;
    const sockaddr_in server = Loopback(serverPort);
    if (bind(channel.front, reinterpret_cast<sockaddr*>(&front), sizeof front) != 0 ||
        getsockname(channel.front, reinterpret_cast<sockaddr*>(&front), &length) != 0 ||
        connect(channel.back, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
      return;
    }
    channel.frontPort = ntohs(front.sin_port);
  }
  m_ready = true;
  m_thread = std::thread(&LossyRelay::Serve, this);
}

LossyRelay::~LossyRelay() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  for (Channel& channel : m_channels) {
    if (channel.front >= 0) close(channel.front);
    if (channel.back >= 0) close(channel.back);
  }
}

bool LossyRelay::Drop(Channel& channel) { return m_loss(channel.random); }

void LossyRelay::Serve() {
  std::vector<pollfd> waiting;
  for (const Channel& channel : m_channels) {
    waiting.push_back({channel.front, POLLIN, 0});
    waiting.push_back({channel.back, POLLIN, 0});
  }
  char datagram[2048];
  while (!m_stop) {
    // A bounded wait, so the destructor's stop is seen within 50 ms.
    if (poll(waiting.data(), waiting.size(), 50) <= 0) continue;
    for (std::size_t k = 0; k < waiting.size(); ++k) {
      if ((waiting[k].revents & POLLIN) == 0) continue;
      Channel& channel = m_channels[k / 2];
      if (k % 2 == 0) {
        sockaddr_in seat{};
        socklen_t length = sizeof seat;
        const ssize_t got = recvfrom(channel.front, datagram, sizeof datagram, MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&seat), &length);
        if (got <= 0) continue;
        channel.seatKnown = true;
        channel.seatAddress = seat.sin_addr.s_addr;
        channel.seatPort = seat.sin_port;
        if (!Drop(channel)) send(channel.back, datagram, static_cast<std::size_t>(got), 0);
      } else {
        const ssize_t got = recv(channel.back, datagram, sizeof datagram, MSG_DONTWAIT);
        if (got <= 0 || !channel.seatKnown || Drop(channel)) continue;
        sockaddr_in seat{};
        seat.sin_family = AF_INET;
        seat.sin_addr.s_addr = channel.seatAddress;
        seat.sin_port = channel.seatPort;
        sendto(channel.front, datagram, static_cast<std::size_t>(got), 0,
               reinterpret_cast<const sockaddr*>(&seat), sizeof seat);
      }
    }
  }
}

}  // namespace bench
}  // namespace seatenrol
