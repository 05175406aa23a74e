#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/socket.h"
#include "platform/system_calls_posix.h"
#include "platform/system_error.h"

namespace seatenrol {

namespace {

int ToDescriptor(SocketHandle handle) { return static_cast<int>(handle); }

// Records errno as the reason the call fails, and passes result through.
template <typename Result>
Result Failed(Result result) {
  RecordLastSystemError();
  return result;
}

}  // namespace

bool OpenUdpSocket(SocketHandle* handle) {
  // The endpoint must not leak into programs the host process starts; where
  // the system allows, it is marked so atomically, before another thread can
  // start one.
#if defined(SOCK_CLOEXEC)
  const int fd = Posix().socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Failed(false);
#else
  const int fd = Posix().socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return Failed(false);
  const int flags = ::fcntl(fd, F_GETFD);
  if (flags >= 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
#endif
  *handle = static_cast<SocketHandle>(fd);
  return true;
}

void CloseSocket(SocketHandle handle) {
  // The descriptor is gone after close even when it reports EINTR, so it is
  // never closed twice.
  ::close(ToDescriptor(handle));
}

bool ConnectSocket(SocketHandle handle, std::uint32_t address, std::uint16_t port) {
  sockaddr_in peer;
  std::memset(&peer, 0, sizeof peer);
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = htonl(address);
  peer.sin_port = htons(port);
  if (::connect(ToDescriptor(handle), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) {
    return true;
  }
  return Failed(false);
}

SocketResult SendDatagram(SocketHandle handle, const char* data, int length) {
  for (;;) {
    ssize_t sent = Posix().send(ToDescriptor(handle), data, static_cast<size_t>(length), 0);
    if (sent >= 0) return {SocketStatus::kDone, static_cast<int>(sent)};
    if (errno == EINTR) continue;
    if (errno == EMSGSIZE) return Failed(SocketResult{SocketStatus::kTooLarge, 0});
    if (errno == ECONNREFUSED) return Failed(SocketResult{SocketStatus::kRefused, 0});
    return Failed(SocketResult{SocketStatus::kFailed, 0});
  }
}

SocketStatus WaitReadable(SocketHandle handle, int waitMs) {
  pollfd entry;
  entry.fd = ToDescriptor(handle);
  entry.events = POLLIN;
  entry.revents = 0;
  int ready = Posix().poll(&entry, 1, waitMs < 0 ? -1 : waitMs);
  if (ready > 0) return SocketStatus::kDone;  // POLLERR too: the receive reports it
  if (ready == 0) return SocketStatus::kTimedOut;
  return errno == EINTR ? SocketStatus::kInterrupted : Failed(SocketStatus::kFailed);
}

SocketResult ReceiveDatagram(SocketHandle handle, char* buffer, int capacity) {
  iovec part;
  part.iov_base = buffer;
  part.iov_len = static_cast<size_t>(capacity);
  msghdr message;
  std::memset(&message, 0, sizeof message);
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  // recvmsg marks a datagram cut to the buffer with MSG_TRUNC on every POSIX
  // system, where recv's MSG_TRUNC flag is Linux's alone.
  ssize_t received = Posix().recvmsg(ToDescriptor(handle), &message, MSG_DONTWAIT);
  if (received >= 0) {
    if ((message.msg_flags & MSG_TRUNC) != 0) return {SocketStatus::kTruncated, 0};
    return {SocketStatus::kDone, static_cast<int>(received)};
  }
  switch (errno) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
      return {SocketStatus::kWouldBlock, 0};
    case EINTR:
      return {SocketStatus::kInterrupted, 0};
    case ECONNREFUSED:
      return Failed(SocketResult{SocketStatus::kRefused, 0});
    default:
      return Failed(SocketResult{SocketStatus::kFailed, 0});
  }
}

int LastSocketError() { return errno; }

bool SocketLayerStarted() { return true; }

}  // namespace seatenrol
