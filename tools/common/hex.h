// Hexadecimal text for the tools: secrets, credentials and MAC addresses.
#ifndef SEATENROL_TOOLS_COMMON_HEX_H
#define SEATENROL_TOOLS_COMMON_HEX_H

#include <cstddef>
#include <string>

namespace seatenrol {

// Lower-case hex of count bytes, two digits per byte, no separators.
std::string ToHex(const unsigned char* bytes, std::size_t count);

// Reads exactly 2 * count hex digits (either case) into out; false for any
// other length or a non-hex character, out then partly written.
bool ParseHex(const std::string& text, unsigned char* out, std::size_t count);

// The text without leading and trailing blanks, tabs and line ends.
std::string Trimmed(const std::string& text);

}  // namespace seatenrol

#endif
