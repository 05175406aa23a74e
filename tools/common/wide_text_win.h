// UTF-8 and Windows' UTF-16 into each other, for the tools' Windows halves.
#ifndef SEATENROL_TOOLS_COMMON_WIDE_TEXT_WIN_H
#define SEATENROL_TOOLS_COMMON_WIDE_TEXT_WIN_H

#include <string>

namespace seatenrol {

// Invalid input becomes U+FFFD, as the system converts it.
std::wstring WideFromUtf8(const std::string& utf8);
std::string Utf8FromWide(const std::wstring& wide);

}  // namespace seatenrol

#endif
