// The library and the seats write their texts in code page 936 (GBK);
// terminals and JSON want UTF-8.
#ifndef SEATENROL_TOOLS_COMMON_GBK_TEXT_H
#define SEATENROL_TOOLS_COMMON_GBK_TEXT_H

#include <string>

namespace seatenrol {

// gbk's UTF-8 form, read as the library reads its messages (platform/gbk_text.h),
// the same on every system. A byte that does not start a valid character
// becomes U+FFFD and clears exact, so nothing is lost silently and the
// conversion never stops; the caller may show the raw bytes beside the text.
std::string GbkToUtf8(const std::string& gbk, bool& exact);
std::string GbkToUtf8(const std::string& gbk);

}  // namespace seatenrol

#endif
