// The venue's secret as a host's command line gives it: 64 hexadecimal
// digits. Shared by the example hosts; it needs only the C runtime's strlen.
#ifndef SEATENROL_EXAMPLES_SECRET_TEXT_H
#define SEATENROL_EXAMPLES_SECRET_TEXT_H

#include <string.h>

namespace example {

constexpr int kSecretSize = 32;

inline int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// False, secret unchanged or partly written, unless text is exactly 64 digits.
inline bool ParseSecret(const char* text, unsigned char (&secret)[kSecretSize]) {
  if (strlen(text) != 2 * static_cast<size_t>(kSecretSize)) return false;
  for (int i = 0; i < kSecretSize; ++i) {
    const int high = HexDigit(text[2 * i]);
    const int low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    secret[i] = static_cast<unsigned char>(high * 16 + low);
  }
  return true;
}

}  // namespace example

#endif
