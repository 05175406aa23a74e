// Texts for the server's JSON lines: always valid UTF-8, whatever a seat sent.
#ifndef SEATENROL_TOOLS_ENROL_SERVER_JSON_TEXT_H
#define SEATENROL_TOOLS_ENROL_SERVER_JSON_TEXT_H

#include <string>

namespace seatenrol {

// text as a JSON string. Valid UTF-8 sequences pass unchanged; control
// characters are escaped (\u00XX); a byte that does not belong to a valid
// UTF-8 sequence becomes \ufffd, so the line is valid UTF-8 in every case.
std::string JsonString(const std::string& text);

// The seat's texts are GBK (code page 936), ASCII included. Returns their
// UTF-8 form; exact is false when some byte did not start a valid GBK
// character: each such byte became U+FFFD, and the caller shows the raw bytes
// beside the text.
std::string GbkToUtf8(const std::string& gbk, bool& exact);

}  // namespace seatenrol

#endif
