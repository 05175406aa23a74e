#include "common/gbk_text.h"

#include "platform/gbk_text.h"

namespace seatenrol {

std::string GbkToUtf8(const std::string& gbk, bool& exact) {
  exact = true;
  // Room for the longest reading, so nothing is cut.
  std::string utf8(gbk.size() * kUtf8PerGbkByte + 1, '\0');
  utf8.resize(GbkToUtf8(gbk.data(), gbk.size(), &utf8[0], utf8.size(), &exact));
  return utf8;
}

std::string GbkToUtf8(const std::string& gbk) {
  bool exact = true;
  return GbkToUtf8(gbk, exact);
}

}  // namespace seatenrol
