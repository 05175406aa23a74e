// The venue ID as a technician may type it.
#ifndef SEATENROL_TOOLS_SEAT_ENROL_VENUE_ID_H
#define SEATENROL_TOOLS_SEAT_ENROL_VENUE_ID_H

#include <cstddef>
#include <string>

namespace seatenrol {

// The request's company ID field holds 20 bytes.
constexpr std::size_t kVenueIDLimit = 20;

// Empty when id is 1 to 20 printable ASCII characters, otherwise one line
// saying what is wrong with it. Control characters would split the log's
// lines, and other bytes would reach the server in no agreed encoding.
std::string VenueIDProblem(const std::string& id);

}  // namespace seatenrol

#endif
