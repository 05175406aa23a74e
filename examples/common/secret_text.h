/* The venue's secret as a host's command line gives it: 64 hexadecimal
 * digits. Shared by the example hosts, C and C++ alike; it needs only the C
 * runtime's strlen. */
#ifndef SEATENROL_EXAMPLES_SECRET_TEXT_H
#define SEATENROL_EXAMPLES_SECRET_TEXT_H

#include <string.h>

enum { EXAMPLE_SECRET_SIZE = 32 };

static inline int ExampleHexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/* 1 when text is exactly 64 digits, their bytes then in secret; otherwise 0,
 * secret unchanged or partly written. */
static inline int ExampleParseSecret(const char* text, unsigned char secret[EXAMPLE_SECRET_SIZE]) {
  int i;
  if (strlen(text) != 2 * (size_t)EXAMPLE_SECRET_SIZE) return 0;
  for (i = 0; i < EXAMPLE_SECRET_SIZE; ++i) {
    const int high = ExampleHexDigit(text[2 * i]);
    const int low = ExampleHexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return 0;
    secret[i] = (unsigned char)(high * 16 + low);
  }
  return 1;
}

#endif
