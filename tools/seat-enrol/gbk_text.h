// The library writes its messages in code page 936 (GBK); a terminal wants
// UTF-8.
#ifndef SEATENROL_TOOLS_SEAT_ENROL_GBK_TEXT_H
#define SEATENROL_TOOLS_SEAT_ENROL_GBK_TEXT_H

#include <string>

namespace seatenrol {

// gbk converted to UTF-8; a byte that does not start a valid GBK character
// becomes U+FFFD, so nothing is lost silently and the conversion never stops.
std::string GbkToUtf8(const std::string& gbk);

}  // namespace seatenrol

#endif
