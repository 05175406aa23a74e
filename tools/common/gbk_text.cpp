#include "common/gbk_text.h"

#include "common/gbk_convert.h"

namespace seatenrol {

std::string GbkToUtf8(const std::string& gbk, bool& exact) {
  exact = true;
  bool ascii = true;
  for (const char c : gbk) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return gbk;  // the common case, and the same text in both
  std::string utf8;
  if (ConvertGbkToUtf8(gbk, utf8, exact)) return utf8;
  // Without a converter only ASCII can be vouched for.
  exact = false;
  std::string kept;
  for (const char c : gbk) {
    if (static_cast<unsigned char>(c) < 0x80) {
      kept += c;
    } else {
      kept += kReplacementUtf8;
    }
  }
  return kept;
}

std::string GbkToUtf8(const std::string& gbk) {
  bool exact = true;
  return GbkToUtf8(gbk, exact);
}

}  // namespace seatenrol
