// Texts for a terminal: the library writes its messages in code page 936
// (GBK), a terminal wants UTF-8 (GbkToUtf8), and raw bytes must not reach it
// as they are.
#ifndef SEATENROL_TOOLS_SEAT_ENROL_GBK_TEXT_H
#define SEATENROL_TOOLS_SEAT_ENROL_GBK_TEXT_H

#include <cstddef>
#include <string>

#include "common/gbk_text.h"

namespace seatenrol {

// Up to width bytes of text, ending at its first NUL: printable ASCII as it
// is, every other byte as \xNN.
std::string Escaped(const char* text, std::size_t width);

}  // namespace seatenrol

#endif
