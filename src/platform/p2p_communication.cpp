#include <chrono>

#include "platform/call_limits.h"
#include "platform/ipv4_text.h"
#include "platform/socket.h"
#include "seatenrol/transport.h"

namespace seatenrol {

namespace {

// The one type of endpoint there is: a datagram socket.
constexpr int kDatagramType = 2;

using Clock = std::chrono::steady_clock;

thread_local TransportFault lastFault = TransportFault::kNone;

// The receive result for a failed socket call, its cause kept for the caller.
int Failure(SocketStatus status) {
  lastFault = status == SocketStatus::kRefused ? TransportFault::kRefused : TransportFault::kFailed;
  return CONST_COMMUNICATION_ERROR;
}

// Milliseconds until deadline, rounded up so a wait never ends before it;
// 0 once it has passed.
int MillisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for one datagram and takes it. With unlimited set, waitMs is unused
// and the wait has no end; otherwise it ends at the deadline even when
// signals break in or a reported datagram turns out to be gone. Inside a
// limited call the call's deadline may end it sooner, and a cancellable call
// waits in slices, looking at its cancel flag between them; a cancelled wait
// ends as a timeout, which the caller tells apart by the flag.
int ReceiveWithin(SocketHandle handle, char* buffer, int capacity, bool unlimited, int waitMs) {
  const Clock::time_point deadline =
      unlimited ? Clock::time_point::max()
                : LimitedEnd(Clock::now() + std::chrono::milliseconds(waitMs));
  const bool sliced = CurrentCallCancellable();
  for (;;) {
    if (sliced && CurrentLimitHit() == LimitHit::kCancelled) return CONST_COMMUNICATION_TIMEOUT;
    int sliceMs = unlimited ? -1 : MillisecondsLeft(deadline);
    if (sliced && (sliceMs < 0 || sliceMs > kCancelCheckMs)) sliceMs = kCancelCheckMs;
    switch (WaitReadable(handle, sliceMs)) {
      case SocketStatus::kDone:
        break;
      case SocketStatus::kTimedOut:
        if (sliced && (unlimited || Clock::now() < deadline)) continue;
        return CONST_COMMUNICATION_TIMEOUT;
      case SocketStatus::kInterrupted:
        continue;
      default:
        return Failure(SocketStatus::kFailed);
    }
    const SocketResult received = ReceiveDatagram(handle, buffer, capacity);
    switch (received.status) {
      case SocketStatus::kDone:
        // An empty datagram carries no reply at all.
        return received.count > 0 ? received.count : CONST_COMMUNICATION_PACKET_ERROR;
      case SocketStatus::kWouldBlock:
      case SocketStatus::kInterrupted:
        continue;
      case SocketStatus::kTruncated:
        return CONST_COMMUNICATION_PACKET_ERROR;
      default:  // refused by the peer's host, or failed
        return Failure(received.status);
    }
  }
}

}  // namespace

TransportFault LastTransportFault() { return lastFault; }

}  // namespace seatenrol

using seatenrol::SocketResult;
using seatenrol::SocketStatus;

CP2PCommunication::CP2PCommunication() : m_handle(0), m_open(false) {}

CP2PCommunication::~CP2PCommunication() { Close(); }

int CP2PCommunication::Open(int type) {
  if (type != seatenrol::kDatagramType) return 0;
  Close();  // a second Open replaces the endpoint rather than leaking it
  std::uintptr_t handle = 0;
  if (!seatenrol::OpenUdpSocket(&handle)) return 0;
  m_handle = handle;
  m_open = true;
  return 1;
}

int CP2PCommunication::Close() {
  if (m_open) seatenrol::CloseSocket(m_handle);
  m_handle = 0;
  m_open = false;
  return 1;
}

int CP2PCommunication::SetPeerAddr(CSocketAddress address) {
  if (!m_open) return 0;
  std::uint32_t ip = 0;
  if (!seatenrol::ParseDottedIPv4(address.GetIP(), &ip)) return 0;
  const int port = address.GetPort();
  if (port < 1 || port > 65535) return 0;
  return seatenrol::ConnectSocket(m_handle, ip, static_cast<std::uint16_t>(port)) ? 1 : 0;
}

int CP2PCommunication::SendTo(const char* data, int length) {
  // An empty datagram would report 0 bytes, which reads as failure anyway.
  if (!m_open || data == nullptr || length <= 0) return CONST_COMMUNICATION_ERROR;
  const SocketResult sent = seatenrol::SendDatagram(m_handle, data, length);
  switch (sent.status) {
    case SocketStatus::kDone:
      return sent.count;
    case SocketStatus::kTooLarge:
      seatenrol::Failure(SocketStatus::kFailed);
      return CONST_COMMUNICATION_PACKET_ERROR;
    default:
      return seatenrol::Failure(sent.status);
  }
}

int CP2PCommunication::RecvFrom(char* buffer, int capacity, int waitMs) {
  if (!m_open || buffer == nullptr || capacity <= 0 || waitMs < 0) {
    return CONST_COMMUNICATION_ERROR;
  }
  return seatenrol::ReceiveWithin(m_handle, buffer, capacity, false, waitMs);
}

int CP2PCommunication::RecvFrom(char* buffer, int capacity) {
  if (!m_open || buffer == nullptr || capacity <= 0) return CONST_COMMUNICATION_ERROR;
  return seatenrol::ReceiveWithin(m_handle, buffer, capacity, true, 0);
}

bool CP2PCommunication::IsOpen() const { return m_open; }
