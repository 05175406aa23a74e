#include <iconv.h>

#include "platform/gbk_text.h"

namespace seatenrol {

namespace {

// The two-byte codes that code page 936 maps into the private use area and
// that iconv's GBK refuses (or, in some C libraries, maps elsewhere): the
// user-defined areas and the codes GBK leaves unassigned. Runs of codes, each
// with the character of its first; the same gbk_text test table runs through
// MultiByteToWideChar in the Windows suite.
struct PrivateUseRun {
  std::uint16_t first;
  std::uint16_t last;
  std::uint16_t character;
};
constexpr PrivateUseRun kPrivateUseRuns[] = {
    {0xA140, 0xA17E, 0xE4C6}, {0xA180, 0xA1A0, 0xE505}, {0xA240, 0xA27E, 0xE526},
    {0xA280, 0xA2A0, 0xE565}, {0xA2AB, 0xA2B0, 0xE766}, {0xA2E3, 0xA2E4, 0xE76C},
    {0xA2EF, 0xA2F0, 0xE76E}, {0xA2FD, 0xA2FE, 0xE770}, {0xA340, 0xA37E, 0xE586},
    {0xA380, 0xA3A0, 0xE5C5}, {0xA440, 0xA47E, 0xE5E6}, {0xA480, 0xA4A0, 0xE625},
    {0xA4F4, 0xA4FE, 0xE772}, {0xA540, 0xA57E, 0xE646}, {0xA580, 0xA5A0, 0xE685},
    {0xA5F7, 0xA5FE, 0xE77D}, {0xA640, 0xA67E, 0xE6A6}, {0xA680, 0xA6A0, 0xE6E5},
    {0xA6B9, 0xA6C0, 0xE785}, {0xA6D9, 0xA6DF, 0xE78D}, {0xA6EC, 0xA6ED, 0xE794},
    {0xA6F3, 0xA6F3, 0xE796}, {0xA6F6, 0xA6FE, 0xE797}, {0xA740, 0xA77E, 0xE706},
    {0xA780, 0xA7A0, 0xE745}, {0xA7C2, 0xA7D0, 0xE7A0}, {0xA7F2, 0xA7FE, 0xE7AF},
    {0xA896, 0xA8A0, 0xE7BC}, {0xA8BC, 0xA8BC, 0xE7C7}, {0xA8BF, 0xA8BF, 0xE7C8},
    {0xA8C1, 0xA8C4, 0xE7C9}, {0xA8EA, 0xA8FE, 0xE7CD}, {0xA958, 0xA958, 0xE7E2},
    {0xA95B, 0xA95B, 0xE7E3}, {0xA95D, 0xA95F, 0xE7E4}, {0xA989, 0xA995, 0xE7E7},
    {0xA997, 0xA9A3, 0xE7F4}, {0xA9F0, 0xA9FE, 0xE801}, {0xAAA1, 0xAAFE, 0xE000},
    {0xABA1, 0xABFE, 0xE05E}, {0xACA1, 0xACFE, 0xE0BC}, {0xADA1, 0xADFE, 0xE11A},
    {0xAEA1, 0xAEFE, 0xE178}, {0xAFA1, 0xAFFE, 0xE1D6}, {0xD7FA, 0xD7FE, 0xE810},
    {0xF8A1, 0xF8FE, 0xE234}, {0xF9A1, 0xF9FE, 0xE292}, {0xFAA1, 0xFAFE, 0xE2F0},
    {0xFBA1, 0xFBFE, 0xE34E}, {0xFCA1, 0xFCFE, 0xE3AC}, {0xFDA1, 0xFDFE, 0xE40A},
    {0xFE50, 0xFE7E, 0xE815}, {0xFE80, 0xFEA0, 0xE844}, {0xFEA1, 0xFEFE, 0xE468},
};

iconv_t Converter(void* handle) { return static_cast<iconv_t>(handle); }
bool Usable(void* handle) { return Converter(handle) != reinterpret_cast<iconv_t>(-1); }

}  // namespace

GbkPairDecoder::GbkPairDecoder() noexcept : m_converter(iconv_open("UTF-32LE", "GBK")) {}

GbkPairDecoder::~GbkPairDecoder() {
  if (Usable(m_converter)) iconv_close(Converter(m_converter));
}

bool GbkPairDecoder::Decode(unsigned char lead, unsigned char trail,
                            std::uint32_t& character) noexcept {
  const unsigned code = lead * 0x100u + trail;
  for (const PrivateUseRun& run : kPrivateUseRuns) {
    if (code >= run.first && code <= run.last) {
      character = run.character + (code - run.first);
      return true;
    }
  }
  if (!Usable(m_converter)) return false;
  char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  unsigned char utf32[4] = {};
  char* in = pair;
  std::size_t inLeft = sizeof pair;
  char* out = reinterpret_cast<char*>(utf32);
  std::size_t outLeft = sizeof utf32;
  iconv(Converter(m_converter), nullptr, nullptr, nullptr, nullptr);
  const std::size_t result = iconv(Converter(m_converter), &in, &inLeft, &out, &outLeft);
  if (result == static_cast<std::size_t>(-1) || inLeft != 0 || outLeft != 0) return false;
  character = utf32[0] | (utf32[1] << 8u) | (utf32[2] << 16u) |
              (static_cast<std::uint32_t>(utf32[3]) << 24u);
  return true;
}

}  // namespace seatenrol
