#include "common/gbk_text.h"

#include <iconv.h>

#include <cerrno>

namespace seatenrol {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// One converter per thread, opened at its first use and kept: opening one
// per text would cost more than the conversions.
class GbkConverter {
public:
  GbkConverter() : m_converter(iconv_open("UTF-8", "GBK")) {}
  ~GbkConverter() {
    if (Usable()) iconv_close(m_converter);
  }
  GbkConverter(const GbkConverter&) = delete;
  GbkConverter& operator=(const GbkConverter&) = delete;

  bool Usable() const { return m_converter != reinterpret_cast<iconv_t>(-1); }

  std::string Convert(const std::string& gbk, bool& exact) {
    std::string utf8;
    char chunk[256];
    char* in = const_cast<char*>(gbk.data());
    std::size_t inLeft = gbk.size();
    iconv(m_converter, nullptr, nullptr, nullptr, nullptr);
    while (inLeft > 0) {
      char* out = chunk;
      std::size_t outLeft = sizeof chunk;
      const std::size_t result = iconv(m_converter, &in, &inLeft, &out, &outLeft);
      utf8.append(chunk, sizeof chunk - outLeft);
      if (result != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
      // EILSEQ, or EINVAL for a character cut at the end: one byte is lost.
      exact = false;
      utf8 += kReplacement;
      ++in;
      --inLeft;
      iconv(m_converter, nullptr, nullptr, nullptr, nullptr);
    }
    return utf8;
  }

private:
  iconv_t m_converter;
};

}  // namespace

std::string GbkToUtf8(const std::string& gbk, bool& exact) {
  exact = true;
  bool ascii = true;
  for (const char c : gbk) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return gbk;  // the common case, and the same text in both
  thread_local GbkConverter converter;
  if (converter.Usable()) return converter.Convert(gbk, exact);
  // Without a converter only ASCII can be vouched for.
  exact = false;
  std::string kept;
  for (const char c : gbk) {
    if (static_cast<unsigned char>(c) < 0x80) {
      kept += c;
    } else {
      kept += kReplacement;
    }
  }
  return kept;
}

std::string GbkToUtf8(const std::string& gbk) {
  bool exact = true;
  return GbkToUtf8(gbk, exact);
}

}  // namespace seatenrol
