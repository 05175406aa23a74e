// Small helpers the wire tests share.
#ifndef SEATENROL_TESTS_WIRE_WIRE_TEST_UTIL_H
#define SEATENROL_TESTS_WIRE_WIRE_TEST_UTIL_H

#include <cstddef>
#include <vector>

#include "seatenrol/wire.h"

// seed, seed + 1, ... over n bytes (wrapping).
inline std::vector<unsigned char> Pattern(unsigned char seed, std::size_t n) {
  std::vector<unsigned char> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(seed + i);
  return bytes;
}

inline std::vector<unsigned char> BigEndian(unsigned int value) {
  return {static_cast<unsigned char>(value >> 24), static_cast<unsigned char>(value >> 16),
          static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
}

inline std::vector<unsigned char> Contents(const CBuf& buf) {
  return std::vector<unsigned char>(buf.GetData(), buf.GetData() + buf.GetDataLen());
}

inline std::vector<unsigned char> Slice(const std::vector<unsigned char>& bytes, std::size_t offset,
                                        std::size_t size) {
  if (offset + size > bytes.size()) return {};
  return std::vector<unsigned char>(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
}

#endif
