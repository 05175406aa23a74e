// The server's account of its work: one JSON object per line on stdout.
#ifndef SEATENROL_TOOLS_ENROL_SERVER_REPORT_H
#define SEATENROL_TOOLS_ENROL_SERVER_REPORT_H

#include <cstddef>
#include <string>

#include "enrol-server/enrolment_answer.h"
#include "enrol-server/request_decoder.h"

namespace seatenrol {

// text as a JSON string; bytes outside printable ASCII become \u00XX.
std::string JsonString(const std::string& text);

std::string ListeningLine(const std::string& address, int port);

// The decoded request, who sent it and what it was answered.
std::string RequestLine(const DecodedRequest& request, const std::string& peer, std::size_t length,
                        const Answer& answer);

// A datagram that was not answered because it is not a registration request.
std::string IgnoredLine(const std::string& peer, std::size_t length, const std::string& reason);

}  // namespace seatenrol

#endif
