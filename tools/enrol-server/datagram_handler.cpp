#include "enrol-server/datagram_handler.h"

#include "enrol-server/report.h"
#include "enrol-server/request_decoder.h"

namespace seatenrol {

HandledDatagram HandleDatagram(const unsigned char* data, std::size_t length,
                               const std::string& peer, const VenueTable& venues,
                               const ServerFaults& faults) {
  HandledDatagram handled;
  if (length < kRequestSize) {
    handled.line = IgnoredLine(peer, length, "shorter than a request");
    return handled;
  }
  if (length > kRequestSize) {
    handled.line = IgnoredLine(peer, length, "longer than a request");
    return handled;
  }
  DecodedRequest request;
  if (!DecodeRequest(data, length, request) || request.commandID != 127) {
    handled.line = IgnoredLine(peer, length, "not a registration request");
    return handled;
  }
  Answer answer = AnswerRequest(request, venues, faults);
  handled.line = RequestLine(request, peer, length, answer);
  handled.answered = answer.answered;
  handled.reply.swap(answer.reply);
  return handled;
}

}  // namespace seatenrol
