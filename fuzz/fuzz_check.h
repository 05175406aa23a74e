// What the fuzz targets share: a check that stops the run with a message
// (the fuzzer then keeps the input), and a reader that takes fields from the
// front of the input.
#ifndef SEATENROL_FUZZ_FUZZ_CHECK_H
#define SEATENROL_FUZZ_FUZZ_CHECK_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace seatenrol {
namespace fuzz {

inline void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
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
