// The few socket calls the datagram endpoint needs, one implementation per
// OS (socket_posix.cpp, socket_win.cpp). Each call reports in the terms the
// endpoint decides on, so no OS error code leaves these files.
#ifndef SEATENROL_PLATFORM_SOCKET_H
#define SEATENROL_PLATFORM_SOCKET_H

#include <cstdint>

namespace seatenrol {

// A socket descriptor (POSIX) or SOCKET (Windows), both fit.
using SocketHandle = std::uintptr_t;

enum class SocketStatus {
  kDone,         // the call did its work
  kWouldBlock,   // no datagram is waiting after all
  kInterrupted,  // a signal broke in; the caller may try again
  kTimedOut,     // the wait ran out
  kTruncated,    // the datagram was larger than the buffer
  kRefused,      // the peer reported its port closed
  kTooLarge,     // the datagram is too large to send
  kFailed,       // any other failure
};

struct SocketResult {
  SocketStatus status;
  int count;  // bytes moved, when status is kDone
};

// A new IPv4 datagram socket.
bool OpenUdpSocket(SocketHandle* handle);
void CloseSocket(SocketHandle handle);
// Fixes the peer: sends go to it and datagrams from anyone else are dropped.
// address is in host byte order.
bool ConnectSocket(SocketHandle handle, std::uint32_t address, std::uint16_t port);
// Sends one datagram: kDone with its length, kTooLarge, kRefused or kFailed.
SocketResult SendDatagram(SocketHandle handle, const char* data, int length);
// Waits until a datagram (or an error) is ready; waitMs < 0 waits without
// limit. kDone, kTimedOut, kInterrupted or kFailed.
SocketStatus WaitReadable(SocketHandle handle, int waitMs);
// Takes one waiting datagram without blocking. kDone with its length,
// kWouldBlock, kInterrupted, kTruncated, kRefused or kFailed.
SocketResult ReceiveDatagram(SocketHandle handle, char* buffer, int capacity);
// The OS error code of the last failed call on this thread.
int LastSocketError();

// Whether the host process has started the socket layer (always so where
// there is nothing to start). Asked after a failure, to name its cause.
bool SocketLayerStarted();

// What this thread's last failed send or receive on an endpoint met: the
// peer's host refusing the datagram, or any other failure.
enum class TransportFault { kNone, kRefused, kFailed };
TransportFault LastTransportFault();

}  // namespace seatenrol

#endif
