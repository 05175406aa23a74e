#include "loopback_responder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "seatenrol/wire.h"

namespace seatenrol {
namespace bench {

std::vector<unsigned char> AcceptingReply() {
  CResponseCommandReg response;
  RegError result;
  result.SetResponseCommandID(128);
  result.SetErrorNo(0);
  result.SetInfoFlag(1);
  unsigned char venue[20] = "350102030405";
  result.SetCompanyID(venue, sizeof venue);
  result.SetLocalIP(0x7F000001);
  unsigned char host[20] = "enrol-server";
  result.SetHostName(host, sizeof host);
  unsigned char info[52];
  for (std::size_t i = 0; i < 32; ++i) info[i] = static_cast<unsigned char>(0xC0 + i);
  std::memcpy(info + 32, venue, sizeof venue);
  result.SetErrorInfo(info, sizeof info);
  response.SetP2PError(&result);
  CBuf buf;
  buf.Alloc(1024);
  response.GetByteBuf(buf);
  return std::vector<unsigned char>(buf.GetData(), buf.GetData() + buf.GetDataLen());
}

LoopbackResponder::LoopbackResponder()
    : m_socket(-1), m_port(0), m_reply(AcceptingReply()), m_stop(false), m_answered(0) {
  m_socket = socket(AF_INET, SOCK_DGRAM, 0);
  if (m_socket < 0) return;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof local;
  if (bind(m_socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    close(m_socket);
    m_socket = -1;
    return;
  }
  m_port = ntohs(local.sin_port);
  m_thread = std::thread(&LoopbackResponder::Serve, this);
}

LoopbackResponder::~LoopbackResponder() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_socket >= 0) close(m_socket);
}

void LoopbackResponder::Serve() {
  unsigned char datagram[2048];
  while (!m_stop) {
    pollfd waiting{m_socket, POLLIN, 0};
    // A bounded wait, so the destructor's stop is seen within 100 ms.
    if (poll(&waiting, 1, 100) <= 0) continue;
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    const ssize_t received = recvfrom(m_socket, datagram, sizeof datagram, 0,
                                      reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (received <= 0) continue;
    if (sendto(m_socket, m_reply.data(), m_reply.size(), 0, reinterpret_cast<sockaddr*>(&peer),
               peerLength) > 0) {
      ++m_answered;
    }
  }
}

}  // namespace bench
}  // namespace seatenrol
