// The library's messages are code page 936 (GBK) bytes; hosts and terminals
// want UTF-8. One reading of those bytes on every system, so a message shows
// the same text on Windows and elsewhere:
//   0x00-0x7F                        the character itself
//   0x80                             U+20AC, the euro sign, as code page 936 has it
//   0x81-0xFE, then 0x40-0x7E or     one character of code page 936, its
//   0x80-0xFE                        user-defined areas as Windows maps them
//                                    (U+E000 up)
//   any other byte: 0xFF, a lead     U+FFFD, one for that byte; reading goes
//   byte at the end or before a      on at the next byte, so an ASCII byte
//   byte outside the second range    after a lone lead byte is kept
// Without a converter (a POSIX system lacking iconv's GBK) each two-byte
// character becomes one U+FFFD.
#ifndef SEATENROL_PLATFORM_GBK_TEXT_H
#define SEATENROL_PLATFORM_GBK_TEXT_H

#include <cstddef>
#include <cstdint>

namespace seatenrol {

// At most this many UTF-8 bytes come from one GBK byte.
constexpr std::size_t kUtf8PerGbkByte = 3;

// The UTF-8 form of length bytes of gbk into out (capacity > 0 bytes), always
// terminated; a character that would not fit ends the text before it. The
// bytes written, terminator left out. exact, when given, is cleared when a
// byte was replaced. Allocates nothing and never throws.
std::size_t GbkToUtf8(const char* gbk, std::size_t length, char* out, std::size_t capacity,
                      bool* exact = nullptr) noexcept;

// The system's half: the character of one two-byte code page 936 sequence.
class GbkPairDecoder {
public:
  GbkPairDecoder() noexcept;
  ~GbkPairDecoder();
  GbkPairDecoder(const GbkPairDecoder&) = delete;
  GbkPairDecoder& operator=(const GbkPairDecoder&) = delete;

  // False when the system cannot read the pair.
  bool Decode(unsigned char lead, unsigned char trail, std::uint32_t& character) noexcept;

private:
  void* m_converter;  // the POSIX half's iconv descriptor
};

}  // namespace seatenrol

#endif
