#include "net_test_util.h"

#ifdef _WIN32
// Keeps winspool.h out: it would rename CSocketAddress::SetPort to SetPortA.
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstring>
#include <vector>

namespace seatenrol_test {

namespace {

#ifdef _WIN32
using Native = SOCKET;
using AddressLength = int;
bool IsValid(Native s) { return s != INVALID_SOCKET; }
void CloseNative(Native s) { closesocket(s); }
#else
using Native = int;
using AddressLength = socklen_t;
bool IsValid(Native s) { return s >= 0; }
void CloseNative(Native s) { close(s); }
#endif

Native ToNative(std::uintptr_t handle) { return static_cast<Native>(handle); }

sockaddr_in Loopback(int port) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<unsigned short>(port));
  return address;
}

}  // namespace

LoopbackSocket::LoopbackSocket() : m_handle(0), m_ready(false), m_port(0) {
  Native s = socket(AF_INET, SOCK_DGRAM, 0);
  if (!IsValid(s)) return;
  m_handle = static_cast<std::uintptr_t>(s);
  sockaddr_in address = Loopback(0);
  AddressLength length = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    CloseNative(s);
    return;
  }
  m_port = ntohs(address.sin_port);
  m_ready = true;
}

LoopbackSocket::~LoopbackSocket() {
  if (m_ready) CloseNative(ToNative(m_handle));
}

CSocketAddress LoopbackSocket::Address() const { return LoopbackAddress(m_port); }

bool LoopbackSocket::SendTo(int port, const std::string& payload) {
  sockaddr_in to = Loopback(port);
  return sendto(ToNative(m_handle), payload.data(), static_cast<int>(payload.size()), 0,
                reinterpret_cast<sockaddr*>(&to), sizeof to) == static_cast<int>(payload.size());
}

bool LoopbackSocket::Receive(int waitMs, std::string* payload, int* fromPort) {
  Native s = ToNative(m_handle);
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval limit;
  limit.tv_sec = waitMs / 1000;
  limit.tv_usec = (waitMs % 1000) * 1000;
  if (select(static_cast<int>(s) + 1, &readable, nullptr, nullptr, &limit) != 1) return false;
  std::vector<char> data(65536);
  sockaddr_in from;
  AddressLength length = sizeof from;
  int received = static_cast<int>(recvfrom(s, data.data(), static_cast<int>(data.size()), 0,
                                           reinterpret_cast<sockaddr*>(&from), &length));
  if (received < 0) return false;
  payload->assign(data.data(), static_cast<std::size_t>(received));
  if (fromPort != nullptr) *fromPort = ntohs(from.sin_port);
  return true;
}

int UnusedLoopbackPort() {
  LoopbackSocket probe;
  return probe.IsReady() ? probe.Port() : 0;
}

CSocketAddress LoopbackAddress(int port) {
  CSocketAddress address;
  address.SetIP("127.0.0.1");
  address.SetPort(port);
  return address;
}

bool PortRefusalGoesUnreported() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace seatenrol_test
