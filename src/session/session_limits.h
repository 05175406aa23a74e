// Sizes and limits shared by the session's operations.
#ifndef SEATENROL_SESSION_SESSION_LIMITS_H
#define SEATENROL_SESSION_SESSION_LIMITS_H

#include <cstddef>
#include <cstring>

namespace seatenrol {

// Storage of the sending buffer and of the exchange's receive buffer: room
// for the 359-byte request and the largest reply the parser reads (650).
constexpr unsigned int kPacketBufferSize = 1024;
// How long the exchange waits for the server's one reply.
constexpr int kReplyWaitMs = 5000;
// The venue ID argument is 20 bytes, NUL-terminated text within them.
constexpr std::size_t kVenueIDSize = 20;

// The length of a text measured within limit bytes, which may hold no
// terminator.
inline std::size_t BoundedLength(const void* text, std::size_t limit) {
  const void* end = std::memchr(text, 0, limit);
  return end == nullptr ? limit
                        : static_cast<std::size_t>(static_cast<const char*>(end) -
                                                   static_cast<const char*>(text));
}

// The venue ID's text length, measured within its 20 bytes.
inline std::size_t VenueIDLength(const unsigned char* venueID) {
  return BoundedLength(venueID, kVenueIDSize);
}

}  // namespace seatenrol

#endif
