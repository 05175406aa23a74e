// Paths cross the library (and its tools) as UTF-8; the Windows half hands
// them to the system's wide-character calls, which take any name, converted
// here.
#ifndef SEATENROL_PLATFORM_WIDE_TEXT_WIN_H
#define SEATENROL_PLATFORM_WIDE_TEXT_WIN_H

#include <cstddef>
#include <string>

namespace seatenrol {

// path (UTF-8) as UTF-16 for a wide call; empty, a name every call refuses,
// when it is not valid UTF-8.
std::wstring WidePath(const char* path);

// text (UTF-8) as UTF-16 for a person to read: invalid bytes become U+FFFD
// rather than losing the whole text.
std::wstring WideText(const std::string& text);

// size UTF-16 units of wide as UTF-8; false when they are not valid UTF-16.
bool Utf8FromWide(const wchar_t* wide, std::size_t size, std::string& text);

}  // namespace seatenrol

#endif
