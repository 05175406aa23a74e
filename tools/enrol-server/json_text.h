// Texts for the server's JSON lines: always valid UTF-8, whatever a seat sent.
#ifndef SEATENROL_TOOLS_ENROL_SERVER_JSON_TEXT_H
#define SEATENROL_TOOLS_ENROL_SERVER_JSON_TEXT_H

#include <string>

#include "common/gbk_text.h"

namespace seatenrol {

// text as a JSON string. Valid UTF-8 sequences pass unchanged; control
// characters are escaped (\u00XX); a byte that does not belong to a valid
// UTF-8 sequence becomes \ufffd, so the line is valid UTF-8 in every case.
std::string JsonString(const std::string& text);

}  // namespace seatenrol

#endif
