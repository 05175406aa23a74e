#include "seat-enrol/venue_id.h"

#include <cstdio>

namespace seatenrol {

std::string VenueIDProblem(const std::string& id) {
  if (id.empty() || id.size() > kVenueIDLimit) {
    return "--venue needs an ID of 1 to 20 characters, not " + std::to_string(id.size());
  }
  for (std::size_t i = 0; i < id.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(id[i]);
    if (byte < 0x20 || byte > 0x7E) {
      char shown[8];
      std::snprintf(shown, sizeof shown, "\\x%02x", byte);
      return "--venue may hold printable ASCII characters only; character " +
             std::to_string(i + 1) + " is " + shown +
             (byte < 0x20 || byte == 0x7F ? " (a control character)" : " (not ASCII)");
    }
  }
  return std::string();
}

}  // namespace seatenrol
