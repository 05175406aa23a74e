#include <gtest/gtest.h>

#include <string>

#include "platform/gbk_text.h"

namespace seatenrol {
namespace {

// Code page 936 as Windows reads it; the same rows run in the Windows suite
// through MultiByteToWideChar.
TEST(GbkText, ReadsCodePage936AsWindowsDoesAndReplacesTheSameBytes) {
  const struct {
    const char* name;
    std::string gbk;
    std::string utf8;
    bool exact;
  } rows[] = {
      {"ascii", "seat-07\n", "seat-07\n", true},
      {"message", "\xD7\xA2\xB2\xE1\xCA\xA7\xB0\xDC", u8"注册失败", true},
      {"euro", "\x80", u8"\u20AC", true},
      {"middle dot", "\xA1\xA4", u8"\u00B7", true},
      {"em dash", "\xA1\xAA", u8"\u2014", true},
      {"horizontal bar", "\xA8\x44", u8"\u2015", true},
      {"first character", "\x81\x40", u8"\u4E02", true},
      {"last of its lead", "\xFE\x4F", u8"\uFA29", true},
      {"user-defined, first", "\xAA\xA1", u8"\uE000", true},
      {"user-defined, last", "\xA7\xA0", u8"\uE765", true},
      {"unassigned in GBK", "\xA2\xE3", u8"\uE76C", true},
      {"vertical forms' place", "\xA6\xD9", u8"\uE78D", true},
      {"after the last hanzi", "\xD7\xFA", u8"\uE810", true},
      {"lead FE, trail 50", "\xFE\x50", u8"\uE815", true},
      {"FF", "\xFF", u8"\uFFFD", false},
      {"lead at the end", "ab\xD6", u8"ab\uFFFD", false},
      {"lead before a space", "\x81 x", u8"\uFFFD x", false},
      {"lead before 7F", "\x81\x7F", u8"\uFFFD\x7F", false},
      {"lead before FF", "\x81\xFF", u8"\uFFFD\uFFFD", false},
      {"trail 80", "\x81\x80", u8"\u4E90", true},
      {"two leads", "\xFF\xFE", u8"\uFFFD\uFFFD", false},
      {"nothing", "", "", true},
  };
  for (const auto& row : rows) {
    char out[64];
    bool exact = true;
    const std::size_t size = GbkToUtf8(row.gbk.data(), row.gbk.size(), out, sizeof out, &exact);
    EXPECT_EQ(std::string(out, size), row.utf8) << row.name;
    EXPECT_EQ(out[size], '\0') << row.name;
    EXPECT_EQ(exact, row.exact) << row.name;
  }
}

TEST(GbkText, ACharacterThatDoesNotFitEndsTheText) {
  const char gbk[] = "a\xD7\xA2";  // "a" and a character of three UTF-8 bytes
  for (const std::size_t capacity : {1u, 2u, 3u, 4u, 5u}) {
    char out[8] = "xxxxxxx";
    const std::size_t size = GbkToUtf8(gbk, sizeof gbk - 1, out, capacity);
    EXPECT_EQ(size, capacity == 1 ? 0u : capacity < 5 ? 1u : 4u) << capacity;
    EXPECT_EQ(out[size], '\0') << capacity;
  }
}

}  // namespace
}  // namespace seatenrol
