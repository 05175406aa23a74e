#include <windows.h>

#include "platform/gbk_text.h"

namespace seatenrol {

namespace {

constexpr UINT kGbkCodePage = 936;

}  // namespace

GbkPairDecoder::GbkPairDecoder() noexcept : m_converter(nullptr) {}

GbkPairDecoder::~GbkPairDecoder() {}

// MB_ERR_INVALID_CHARS, so that the code page's default character never
// stands in for a pair it lacks (wine 8 gives "?" there without the flag).
bool GbkPairDecoder::Decode(unsigned char lead, unsigned char trail,
                            std::uint32_t& character) noexcept {
  const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  wchar_t wide[2] = {};
  if (MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, pair, 2, wide, 2) != 1) return false;
  character = static_cast<std::uint16_t>(wide[0]);
  return true;
}

}  // namespace seatenrol
