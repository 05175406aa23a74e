// What the server does with one received datagram: the line it reports and
// the reply it sends, if any.
#ifndef SEATENROL_TOOLS_ENROL_SERVER_DATAGRAM_HANDLER_H
#define SEATENROL_TOOLS_ENROL_SERVER_DATAGRAM_HANDLER_H

#include <cstddef>
#include <string>
#include <vector>

#include "enrol-server/enrolment_answer.h"
#include "enrol-server/venue_table.h"

namespace seatenrol {

struct HandledDatagram {
  std::string line;  // the JSON line reported for it
  bool answered = false;
  std::vector<unsigned char> reply;
};

// length is the datagram's true length; data holds at least its first
// min(length, kRequestSize) bytes. Only a datagram of exactly kRequestSize
// bytes carrying command ID 127 is a request; any other is reported as
// ignored and never answered.
HandledDatagram HandleDatagram(const unsigned char* data, std::size_t length,
                               const std::string& peer, const VenueTable& venues,
                               const ServerFaults& faults);

}  // namespace seatenrol

#endif
