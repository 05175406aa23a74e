// The server's account of its work: one JSON object per line on stdout.
#ifndef SEATENROL_TOOLS_ENROL_SERVER_REPORT_H
#define SEATENROL_TOOLS_ENROL_SERVER_REPORT_H

#include <cstddef>
#include <string>

#include "enrol-server/enrolment_answer.h"
#include "enrol-server/json_text.h"
#include "enrol-server/request_decoder.h"

namespace seatenrol {

std::string ListeningLine(const std::string& address, int port);

// The decoded request, who sent it and what it was answered.
std::string RequestLine(const DecodedRequest& request, const std::string& peer, std::size_t length,
                        const Answer& answer);

// A datagram that was not answered because it is not a registration request.
std::string IgnoredLine(const std::string& peer, std::size_t length, const std::string& reason);

// Lines the server could not keep for a reader that fell behind.
std::string DroppedLine(std::size_t lines);

}  // namespace seatenrol

#endif
