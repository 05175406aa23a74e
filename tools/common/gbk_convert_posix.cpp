#include <iconv.h>

#include <cerrno>

#include "common/gbk_convert.h"

namespace seatenrol {

namespace {

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
      utf8 += kReplacementUtf8;
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

bool ConvertGbkToUtf8(const std::string& gbk, std::string& utf8, bool& exact) {
  thread_local GbkConverter converter;
  if (!converter.Usable()) return false;
  utf8 = converter.Convert(gbk, exact);
  return true;
}

}  // namespace seatenrol
