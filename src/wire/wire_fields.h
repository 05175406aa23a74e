// Helpers the wire records share: bounded copies into fixed-width fields and
// an appender that stops at the first refused piece.
#ifndef SEATENROL_WIRE_WIRE_FIELDS_H
#define SEATENROL_WIRE_WIRE_FIELDS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/ipv4_text.h"
#include "seatenrol/wire.h"

namespace seatenrol {

// Copies at most N bytes of source to the start of field, leaving the rest of
// the field as it was; 0 (nothing copied) for a null source or a count <= 0.
template <std::size_t N>
int CopyIntoField(unsigned char (&field)[N], const unsigned char* source, int count) {
  if (source == nullptr || count <= 0) return 0;
  const std::size_t n = static_cast<std::size_t>(count) < N ? static_cast<std::size_t>(count) : N;
  std::memmove(field, source, n);
  return 1;
}

// Appends pieces behind a buffer's fill length. After the first refused
// piece every later one is skipped, so what was appended before stays.
class WireWriter {
public:
  explicit WireWriter(CBuf& buf) : m_buf(buf), m_ok(true) {}

  WireWriter& Bytes(const void* source, std::size_t count) {
    if (m_ok) m_ok = m_buf.Append(source, static_cast<unsigned int>(count)) == 1;
    return *this;
  }

  template <std::size_t N>
  WireWriter& Field(const unsigned char (&field)[N]) {
    return Bytes(field, N);
  }

  WireWriter& Byte(unsigned char value) { return Bytes(&value, 1); }

  WireWriter& Int32(int value) {
    unsigned char bytes[4];
    StoreBigEndian32(static_cast<std::uint32_t>(value), bytes);
    return Bytes(bytes, sizeof bytes);
  }

  int Result() const { return m_ok ? 1 : 0; }

private:
  CBuf& m_buf;
  bool m_ok;
};

// The 82-byte packet header that opens both the request and the response:
//
//   offset size  field
//        0    4  command ID           big-endian
//        4   32  sender's user ID     bytes as stored
//       36   32  addressee's user ID  bytes as stored
//       68    1  command version      byte
//       69    9  command reserve      bytes as stored
//       78    4  body length          big-endian
constexpr std::size_t kPacketHeaderSize = 82;

inline void WritePacketHeader(WireWriter& out, int commandID, const unsigned char (&senderID)[32],
                              const unsigned char (&addresseeID)[32], unsigned char version,
                              const unsigned char (&reserve)[9], int bodyLength) {
  out.Int32(commandID)
      .Field(senderID)
      .Field(addresseeID)
      .Byte(version)
      .Field(reserve)
      .Int32(bodyLength);
}

inline int LoadInt32(const unsigned char* in) { return static_cast<int>(LoadBigEndian32(in)); }

}  // namespace seatenrol

#endif
