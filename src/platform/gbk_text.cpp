#include "platform/gbk_text.h"

namespace seatenrol {

namespace {

constexpr std::uint32_t kEuro = 0x20AC;
constexpr std::uint32_t kReplacement = 0xFFFD;

bool IsLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
bool IsTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

// character's UTF-8 bytes into utf8; how many.
std::size_t EncodeUtf8(std::uint32_t character, char (&utf8)[4]) {
  if (character < 0x80) {
    utf8[0] = static_cast<char>(character);
    return 1;
  }
  if (character < 0x800) {
    utf8[0] = static_cast<char>(0xC0 | (character >> 6));
    utf8[1] = static_cast<char>(0x80 | (character & 0x3F));
    return 2;
  }
  // Code page 936 has no character beyond the first plane.
  utf8[0] = static_cast<char>(0xE0 | (character >> 12));
  utf8[1] = static_cast<char>(0x80 | ((character >> 6) & 0x3F));
  utf8[2] = static_cast<char>(0x80 | (character & 0x3F));
  return 3;
}

}  // namespace

std::size_t GbkToUtf8(const char* gbk, std::size_t length, char* out, std::size_t capacity,
                      bool* exact) noexcept {
  if (out == nullptr || capacity == 0) return 0;
  std::size_t written = 0;
  GbkPairDecoder decoder;
  const auto* bytes = reinterpret_cast<const unsigned char*>(gbk);
  for (std::size_t i = 0; bytes != nullptr && i < length;) {
    const unsigned char byte = bytes[i];
    std::uint32_t character = kReplacement;
    std::size_t taken = 1;
    if (byte < 0x80) {
      character = byte;
    } else if (byte == 0x80) {
      character = kEuro;
    } else if (IsLeadByte(byte) && i + 1 < length && IsTrailByte(bytes[i + 1])) {
      taken = 2;
      if (!decoder.Decode(byte, bytes[i + 1], character)) character = kReplacement;
    }
    if (character == kReplacement && exact != nullptr) *exact = false;
    char utf8[4];
    const std::size_t size = EncodeUtf8(character, utf8);
    if (written + size >= capacity) break;
    for (std::size_t k = 0; k < size; ++k) out[written++] = utf8[k];
    i += taken;
  }
  out[written] = '\0';
  return written;
}

}  // namespace seatenrol
