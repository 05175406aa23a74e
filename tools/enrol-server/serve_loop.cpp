#include "enrol-server/serve_loop.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "enrol-server/datagram_handler.h"
#include "enrol-server/request_decoder.h"
#include "enrol-server/timer_queue.h"

namespace seatenrol {

namespace {

using Clock = std::chrono::steady_clock;

// Only a request is ever decoded, so a slot need hold no more than one; a
// longer datagram is cut at the slot's end and still reported with its true
// length (MSG_TRUNC).
constexpr std::size_t kSlotSize = 2048;
static_assert(kSlotSize > kRequestSize, "a slot holds a whole request and shows a longer one");

// The longest a wait lasts, so a stop signal that came just before it is
// noticed soon.
constexpr int kStopCheckMs = 200;

struct OutgoingReply {
  sockaddr_in peer;
  std::vector<unsigned char> bytes;
};

std::string PeerText(const sockaddr_in& peer) {
  char ip[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
  return std::string(ip) + ":" + std::to_string(ntohs(peer.sin_port));
}

class BatchLoop {
public:
  BatchLoop(int socketFd, int outputFd, OutputQueue& output, const VenueTable& venues,
            const ServerFaults& faults)
      : m_socketFd(socketFd),
        m_output(output),
        m_venues(venues),
        m_faults(faults),
        m_slots(kBatchSize),
        m_peers(kBatchSize),
        m_vectors(kBatchSize),
        m_received(kBatchSize),
        m_outVectors(kBatchSize),
        m_sent(kBatchSize),
        m_write(WriterFor(outputFd)),
        m_outputFd(outputFd) {
    for (unsigned i = 0; i < kBatchSize; ++i) {
      m_vectors[i] = iovec{m_slots[i].data(), m_slots[i].size()};
      m_received[i] = mmsghdr{};
      m_received[i].msg_hdr.msg_iov = &m_vectors[i];
      m_received[i].msg_hdr.msg_iovlen = 1;
      m_received[i].msg_hdr.msg_name = &m_peers[i];
    }
  }

  void Run(const volatile std::sig_atomic_t& stop) {
    while (!stop) {
      // With nothing held back the receive itself waits (for the first
      // datagram, then takes what else is queued); otherwise it only looks,
      // and a poll waits for the socket, the output or the next due answer.
      const bool receiveWaits = m_delayed.Empty() && !m_output.Pending();
      const int received = Receive(receiveWaits);
      const Clock::time_point now = Clock::now();
      if (received > 0) Handle(static_cast<unsigned>(received), now);
      m_delayed.TakeDue(now, m_ready);
      SendReady();
      m_output.Flush(m_write);
      if (received <= 0 && !receiveWaits) Wait();
    }
    m_output.Flush(m_write);
  }

private:
  int Receive(bool wait) {
    for (mmsghdr& message : m_received) {
      message.msg_hdr.msg_namelen = sizeof(sockaddr_in);
      message.msg_hdr.msg_flags = 0;
    }
    // MSG_TRUNC: each length is the datagram's own, however long.
    const int flags = MSG_TRUNC | (wait ? MSG_WAITFORONE : MSG_DONTWAIT);
    return recvmmsg(m_socketFd, m_received.data(), kBatchSize, flags, nullptr);
  }

  void Handle(unsigned count, Clock::time_point now) {
    for (unsigned i = 0; i < count; ++i) {
      HandledDatagram handled = HandleDatagram(m_slots[i].data(), m_received[i].msg_len,
                                               PeerText(m_peers[i]), m_venues, m_faults);
      m_output.Add(handled.line);
      if (!handled.answered) continue;
      OutgoingReply reply{m_peers[i], std::move(handled.reply)};
      if (m_faults.delayMs > 0) {
        m_delayed.Push(now + std::chrono::milliseconds(m_faults.delayMs), std::move(reply));
      } else {
        m_ready.push_back(std::move(reply));
      }
    }
  }

  void SendReady() {
    std::size_t at = 0;
    while (at < m_ready.size()) {
      const std::size_t count = std::min<std::size_t>(kBatchSize, m_ready.size() - at);
      for (std::size_t i = 0; i < count; ++i) {
        OutgoingReply& reply = m_ready[at + i];
        m_outVectors[i] = iovec{reply.bytes.data(), reply.bytes.size()};
        m_sent[i] = mmsghdr{};
        m_sent[i].msg_hdr.msg_name = &reply.peer;
        m_sent[i].msg_hdr.msg_namelen = sizeof reply.peer;
        m_sent[i].msg_hdr.msg_iov = &m_outVectors[i];
        m_sent[i].msg_hdr.msg_iovlen = 1;
      }
      const int sent = sendmmsg(m_socketFd, m_sent.data(), static_cast<unsigned>(count), 0);
      if (sent > 0) {
        at += static_cast<std::size_t>(sent);
      } else if (errno != EINTR) {
        // The first of the batch cannot be sent: said, and skipped.
        std::fprintf(stderr, "enrol-server: send to %s: %s\n", PeerText(m_ready[at].peer).c_str(),
                     std::strerror(errno));
        ++at;
      }
    }
    m_ready.clear();
  }

  void Wait() {
    int timeout = kStopCheckMs;
    if (const auto due = m_delayed.NextDue()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now()).count();
      timeout = static_cast<int>(std::clamp<long long>(left, 0, kStopCheckMs));
    }
    pollfd waiting[2] = {{m_socketFd, POLLIN, 0}, {m_outputFd, POLLOUT, 0}};
    poll(waiting, m_output.Pending() ? 2 : 1, timeout);
  }

  int m_socketFd;
  OutputQueue& m_output;
  const VenueTable& m_venues;
  const ServerFaults& m_faults;
  std::vector<std::array<unsigned char, kSlotSize>> m_slots;
  std::vector<sockaddr_in> m_peers;
  std::vector<iovec> m_vectors;
  std::vector<mmsghdr> m_received;
  std::vector<iovec> m_outVectors;
  std::vector<mmsghdr> m_sent;
  std::vector<OutgoingReply> m_ready;
  TimerQueue<OutgoingReply> m_delayed;
  OutputQueue::Writer m_write;
  int m_outputFd;
};

}  // namespace

void PrepareServingSocket(int socketFd) {
  // Room for a burst of seats enrolling at once; the system caps the request.
  const int receiveBuffer = 4 * 1024 * 1024;
  setsockopt(socketFd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  timeval limit{};
  limit.tv_usec = kStopCheckMs * 1000;
  setsockopt(socketFd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

int OpenOutput() {
  struct stat status {};
  if (fstat(STDOUT_FILENO, &status) != 0 || !S_ISFIFO(status.st_mode)) return STDOUT_FILENO;
  // Opening the pipe anew gives a file description of this process alone,
  // so making it non-blocking leaves the other writers of the pipe alone.
  const int reopened = open("/proc/self/fd/1", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  return reopened >= 0 ? reopened : STDOUT_FILENO;
}

OutputQueue::Writer WriterFor(int fd) {
  return [fd](const char* data, std::size_t size, int& error) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) error = errno;
    return static_cast<long>(written);
  };
}

void Serve(int socketFd, int outputFd, OutputQueue& output, const VenueTable& venues,
           const ServerFaults& faults, const volatile std::sig_atomic_t& stop) {
  BatchLoop loop(socketFd, outputFd, output, venues, faults);
  loop.Run(stop);
}

}  // namespace seatenrol
