// winsock2.h must come before windows.h, which would pull in the old winsock.h.
#include <winsock2.h>

#include <windows.h>

#include <cstring>

#include "platform/socket.h"
#include "platform/system_error.h"

namespace seatenrol {

namespace {

SOCKET ToSocket(SocketHandle handle) { return static_cast<SOCKET>(handle); }

// Records the failed call's Winsock error as the reason it fails, and
// passes result through.
template <typename Result>
Result Failed(Result result) {
  RecordSystemError(::WSAGetLastError());
  return result;
}

// The failed call's Winsock error as a status, recorded unless the caller
// goes on; oversized stands for WSAEMSGSIZE, whose meaning differs between
// sending and receiving.
SocketStatus StatusOfLastError(SocketStatus oversized) {
  switch (::WSAGetLastError()) {
    case WSAEWOULDBLOCK:
      return SocketStatus::kWouldBlock;
    case WSAEINTR:
      return SocketStatus::kInterrupted;
    case WSAEMSGSIZE:
      return Failed(oversized);
    case WSAECONNRESET:  // an ICMP port unreachable on a connected socket
    case WSAECONNREFUSED:
      return Failed(SocketStatus::kRefused);
    default:
      return Failed(SocketStatus::kFailed);
  }
}

}  // namespace

bool OpenUdpSocket(SocketHandle* handle) {
  // The endpoint must not leak into programs the host process starts. Where
  // the system knows WSA_FLAG_NO_HANDLE_INHERIT (Windows 7 SP1 and later) the
  // socket is made uninheritable at birth, before another thread can start
  // one; older systems refuse the flag, and the mark follows the creation.
  // Overlapped, as socket() makes it.
  constexpr DWORD kNoHandleInherit = 0x80;  // WSA_FLAG_NO_HANDLE_INHERIT
  SOCKET s = ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0,
                          WSA_FLAG_OVERLAPPED | kNoHandleInherit);
  if (s == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {
    s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s != INVALID_SOCKET) {
      ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    }
  }
  if (s == INVALID_SOCKET) return Failed(false);
  *handle = static_cast<SocketHandle>(s);
  return true;
}

void CloseSocket(SocketHandle handle) { ::closesocket(ToSocket(handle)); }

bool ConnectSocket(SocketHandle handle, std::uint32_t address, std::uint16_t port) {
  sockaddr_in peer;
  std::memset(&peer, 0, sizeof peer);
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = ::htonl(address);
  peer.sin_port = ::htons(port);
  if (::connect(ToSocket(handle), reinterpret_cast<const sockaddr*>(&peer),
                static_cast<int>(sizeof peer)) == 0) {
    return true;
  }
  return Failed(false);
}

SocketResult SendDatagram(SocketHandle handle, const char* data, int length) {
  int sent = ::send(ToSocket(handle), data, length, 0);
  if (sent != SOCKET_ERROR) return {SocketStatus::kDone, sent};
  return {StatusOfLastError(SocketStatus::kTooLarge), 0};
}

SocketStatus WaitReadable(SocketHandle handle, int waitMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(ToSocket(handle), &readable);
  fd_set failed;
  FD_ZERO(&failed);
  FD_SET(ToSocket(handle), &failed);
  timeval limit;
  limit.tv_sec = waitMs / 1000;
  limit.tv_usec = (waitMs % 1000) * 1000;
  // The first argument is ignored by Winsock.
  int ready = ::select(0, &readable, nullptr, &failed, waitMs < 0 ? nullptr : &limit);
  if (ready > 0) return SocketStatus::kDone;
  if (ready == 0) return SocketStatus::kTimedOut;
  return ::WSAGetLastError() == WSAEINTR ? SocketStatus::kInterrupted
                                         : Failed(SocketStatus::kFailed);
}

SocketResult ReceiveDatagram(SocketHandle handle, char* buffer, int capacity) {
  // Winsock queues only datagrams whose checksum held, so one that select
  // reported is still there and this recv does not block.
  int received = ::recv(ToSocket(handle), buffer, capacity, 0);
  if (received != SOCKET_ERROR) return {SocketStatus::kDone, received};
  // On a receive the buffer holds an oversized datagram's start; the rest is lost.
  return {StatusOfLastError(SocketStatus::kTruncated), 0};
}

int LastSocketError() { return ::WSAGetLastError(); }

bool SocketLayerStarted() {
  // Any socket call made before WSAStartup fails with WSANOTINITIALISED;
  // opening a socket is the cheapest one that touches nothing else.
  const SOCKET probe = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (probe != INVALID_SOCKET) {
    ::closesocket(probe);
    return true;
  }
  return ::WSAGetLastError() != WSANOTINITIALISED;
}

}  // namespace seatenrol
