// The datagram transport the session is built on: an IPv4 UDP endpoint and
// the address that names its peer.
#ifndef SEATENROL_TRANSPORT_H
#define SEATENROL_TRANSPORT_H

#include <cstdint>

#include "seatenrol/export.h"

// winspool.h, pulled in by a full windows.h, renames SetPort to SetPortA;
// the member below keeps its own name in every translation unit.
#if defined(_WIN32) && defined(SetPort)
#undef SetPort
#endif

// Results of CP2PCommunication::RecvFrom other than a byte count.
constexpr int CONST_COMMUNICATION_ERROR = 0;
constexpr int CONST_COMMUNICATION_TIMEOUT = -1;
constexpr int CONST_COMMUNICATION_PACKET_ERROR = -2;

// An IPv4 address as dotted text, and a port.
class SEATENROL_API CSocketAddress {
public:
  CSocketAddress();
  ~CSocketAddress();

  // Nonzero when text is accepted (CheckStrIP); the old value stays otherwise.
  int SetIP(const char* text);
  // Nonzero for 1..65535; the old value stays otherwise.
  int SetPort(int port);
  const char* GetIP() const;
  int GetPort() const;

  // Nonzero exactly for four decimal parts 0-255, without leading zeros,
  // signs or spaces: text that inet_addr can never read as octal or hex.
  static int CheckStrIP(const char* text);

private:
  char m_ip[16];
  int m_port;
};

// One IPv4 datagram endpoint. SetPeerAddr connects it, so only datagrams from
// the peer are ever delivered.
class SEATENROL_API CP2PCommunication {
public:
  CP2PCommunication();
  ~CP2PCommunication();
  CP2PCommunication(const CP2PCommunication&) = delete;
  CP2PCommunication& operator=(const CP2PCommunication&) = delete;

  // type 2 (datagram) is the only one supported; nonzero when ready.
  int Open(int type);
  // Releases the endpoint; harmless on a closed one. Returns 1.
  int Close();
  // Nonzero when later sends go to address and only its replies arrive.
  int SetPeerAddr(CSocketAddress address);
  // Bytes sent, or 0 / -2 on failure.
  int SendTo(const char* data, int length);
  // Bytes received (above 0), CONST_COMMUNICATION_ERROR,
  // CONST_COMMUNICATION_TIMEOUT after waitMs, or
  // CONST_COMMUNICATION_PACKET_ERROR for a datagram larger than capacity.
  int RecvFrom(char* buffer, int capacity, int waitMs);
  // The same, waiting without limit.
  int RecvFrom(char* buffer, int capacity);

  bool IsOpen() const;

private:
  std::uintptr_t m_handle;
  bool m_open;
};

static_assert(sizeof(CSocketAddress) == 20, "address is 16 characters and a port");
static_assert(sizeof(CP2PCommunication) == 2 * sizeof(std::uintptr_t),
              "endpoint is a handle and a flag");

#endif
