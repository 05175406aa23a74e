#include <cstdio>
#include <cstring>

#include "platform/ipv4_text.h"
#include "seatenrol/transport.h"

namespace seatenrol {

bool ParseDottedIPv4(const char* text, std::uint32_t* address) {
  if (text == nullptr || address == nullptr) return false;
  std::uint32_t value = 0;
  const char* p = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (*p != '.') return false;
      ++p;
    }
    if (*p < '0' || *p > '9') return false;
    // A leading zero is allowed only as the whole part, so no part reads as octal.
    if (*p == '0' && p[1] >= '0' && p[1] <= '9') return false;
    unsigned int number = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
      if (++digits > 3) return false;
      number = number * 10 + static_cast<unsigned int>(*p - '0');
      ++p;
    }
    if (number > 255) return false;
    value = value << 8 | number;
  }
  if (*p != '\0') return false;
  *address = value;
  return true;
}

void FormatDottedIPv4(std::uint32_t address, char* out) {
  std::snprintf(out, 16, "%u.%u.%u.%u", static_cast<unsigned>(address >> 24),
                static_cast<unsigned>((address >> 16) & 0xFF),
                static_cast<unsigned>((address >> 8) & 0xFF),
                static_cast<unsigned>(address & 0xFF));
}

}  // namespace seatenrol

CSocketAddress::CSocketAddress() : m_ip(), m_port(0) {}

CSocketAddress::~CSocketAddress() = default;

int CSocketAddress::SetIP(const char* text) {
  if (!CheckStrIP(text)) return 0;
  std::memset(m_ip, 0, sizeof m_ip);
  std::memcpy(m_ip, text, std::strlen(text));  // at most 15 characters once checked
  return 1;
}

int CSocketAddress::SetPort(int port) {
  if (port < 1 || port > 65535) return 0;
  m_port = port;
  return 1;
}

const char* CSocketAddress::GetIP() const { return m_ip; }

int CSocketAddress::GetPort() const { return m_port; }

int CSocketAddress::CheckStrIP(const char* text) {
  std::uint32_t ignored;
  return seatenrol::ParseDottedIPv4(text, &ignored) ? 1 : 0;
}
