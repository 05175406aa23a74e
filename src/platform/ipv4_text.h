// Dotted IPv4 text and the 32-bit address, without the socket layer.
#ifndef SEATENROL_PLATFORM_IPV4_TEXT_H
#define SEATENROL_PLATFORM_IPV4_TEXT_H

#include <cstdint>

namespace seatenrol {

// Parses text that CSocketAddress::CheckStrIP accepts into the address in
// host byte order (w.x.y.z is w << 24 | x << 16 | y << 8 | z); false for any
// other text, leaving *address untouched.
bool ParseDottedIPv4(const char* text, std::uint32_t* address);

// Writes the dotted text of a host-order address into out (at least 16 bytes).
void FormatDottedIPv4(std::uint32_t address, char* out);

// Network byte order as four bytes, independent of the host's own order.
inline void StoreBigEndian32(std::uint32_t value, unsigned char* out) {
  out[0] = static_cast<unsigned char>(value >> 24);
  out[1] = static_cast<unsigned char>(value >> 16);
  out[2] = static_cast<unsigned char>(value >> 8);
  out[3] = static_cast<unsigned char>(value);
}

inline std::uint32_t LoadBigEndian32(const unsigned char* in) {
  return static_cast<std::uint32_t>(in[0]) << 24 | static_cast<std::uint32_t>(in[1]) << 16 |
         static_cast<std::uint32_t>(in[2]) << 8 | static_cast<std::uint32_t>(in[3]);
}

}  // namespace seatenrol

#endif
