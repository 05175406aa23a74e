// The system's half of GbkToUtf8: iconv on POSIX systems, code page 936 on
// Windows (gbk_convert_posix.cpp, gbk_convert_win.cpp).
#ifndef SEATENROL_TOOLS_COMMON_GBK_CONVERT_H
#define SEATENROL_TOOLS_COMMON_GBK_CONVERT_H

#include <string>

namespace seatenrol {

// The replacement for a byte that does not start a valid GBK character.
constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";  // U+FFFD

// gbk's UTF-8 form, each byte that does not start a valid character
// replaced and exact cleared; false when the system has no converter.
bool ConvertGbkToUtf8(const std::string& gbk, std::string& utf8, bool& exact);

}  // namespace seatenrol

#endif
