// Loopback datagram sockets for tests, the same on POSIX and Windows. They
// play the server (or a stranger) beside the endpoint under test.
#ifndef SEATENROL_TESTS_SUPPORT_NET_TEST_UTIL_H
#define SEATENROL_TESTS_SUPPORT_NET_TEST_UTIL_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "seatenrol/transport.h"

namespace seatenrol_test {

// A UDP socket bound to 127.0.0.1 on a port the system picks.
class LoopbackSocket {
public:
  LoopbackSocket();
  ~LoopbackSocket();
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  bool IsReady() const { return m_ready; }
  int Port() const { return m_port; }
  // This socket's own address, for CP2PCommunication::SetPeerAddr.
  CSocketAddress Address() const;

  bool SendTo(int port, const std::string& payload);
  // The next datagram within waitMs, with its source port; false when none came.
  bool Receive(int waitMs, std::string* payload, int* fromPort);

private:
  std::uintptr_t m_handle;
  bool m_ready;
  int m_port;
};

// A loopback port that nothing listens on: bound for a moment, then freed.
int UnusedLoopbackPort();

CSocketAddress LoopbackAddress(int port);

// True when a Windows build runs under Wine, whose sockets never report an
// ICMP port unreachable: a refused port there looks like silence.
bool PortRefusalGoesUnreported();

}  // namespace seatenrol_test

#endif
