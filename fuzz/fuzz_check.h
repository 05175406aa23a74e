// What the fuzz targets share: a check that stops the run with a message
// (the fuzzer then keeps the input), a reference reading of dotted IPv4 text,
// and a reader that takes fields from the front of the input.
#ifndef SEATENROL_FUZZ_FUZZ_CHECK_H
#define SEATENROL_FUZZ_FUZZ_CHECK_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace seatenrol {
namespace fuzz {

inline void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// The dotted IPv4 text the library accepts, written apart from its parser by
// splitting on dots: four decimal parts 0-255 without leading zeros, and
// nothing else. The value is in host byte order.
inline bool ReferenceParse(const std::string& text, std::uint32_t* value) {
  std::uint32_t result = 0;
  std::size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    const std::size_t dot = text.find('.', start);
    const bool last = part == 3;
    if (last != (dot == std::string::npos)) return false;
    const std::string piece = text.substr(start, last ? std::string::npos : dot - start);
    if (piece.empty() || piece.size() > 3) return false;
    if (piece.find_first_not_of("0123456789") != std::string::npos) return false;
    if (piece.size() > 1 && piece[0] == '0') return false;
    const unsigned long number = std::stoul(piece);
    if (number > 255) return false;
    result = result << 8 | static_cast<std::uint32_t>(number);
    start = dot + 1;
  }
  *value = result;
  return true;
}

// Takes fields from the front of the input; past its end every field reads
// as zero, so any input decodes.
class InputReader {
public:
  InputReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

  std::uint8_t Byte() { return m_size > 0 ? Take(1)[0] : 0; }

  std::uint16_t Uint16() {
    const std::uint16_t high = Byte();
    return static_cast<std::uint16_t>(high << 8 | Byte());
  }

  // Up to count bytes; fewer near the end of the input.
  std::size_t Bytes(void* out, std::size_t count) {
    const std::size_t n = count < m_size ? count : m_size;
    if (n > 0) std::memcpy(out, Take(n), n);
    return n;
  }

  const std::uint8_t* Rest() const { return m_data; }
  std::size_t RestSize() const { return m_size; }
  bool Empty() const { return m_size == 0; }

private:
  const std::uint8_t* Take(std::size_t n) {
    const std::uint8_t* at = m_data;
    m_data += n;
    m_size -= n;
    return at;
  }

  const std::uint8_t* m_data;
  std::size_t m_size;
};

}  // namespace fuzz
}  // namespace seatenrol

#endif
