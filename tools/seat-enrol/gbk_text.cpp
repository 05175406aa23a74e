#include "seat-enrol/gbk_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace seatenrol {

std::string GbkToUtf8(const std::string& gbk) {
  static constexpr char kReplacement[] = "\xEF\xBF\xBD";
  iconv_t converter = iconv_open("UTF-8", "GBK");
  if (converter == reinterpret_cast<iconv_t>(-1)) return gbk;
  std::string utf8;
  std::vector<char> chunk(256);
  char* in = const_cast<char*>(gbk.data());
  std::size_t inLeft = gbk.size();
  while (inLeft > 0) {
    char* out = chunk.data();
    std::size_t outLeft = chunk.size();
    const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    utf8.append(chunk.data(), chunk.size() - outLeft);
    if (result != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    // EILSEQ, or EINVAL for a character cut at the end: skip one byte.
    utf8 += kReplacement;
    ++in;
    --inLeft;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(converter);
  return utf8;
}

}  // namespace seatenrol

namespace seatenrol {

std::string Escaped(const char* text, std::size_t width) {
  std::string out;
  for (std::size_t i = 0; i < width && text[i] != '\0'; ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      out += text[i];
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      out += escaped;
    }
  }
  return out;
}

}  // namespace seatenrol
