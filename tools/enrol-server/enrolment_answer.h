// What the management server answers to one registration request.
#ifndef SEATENROL_TOOLS_ENROL_SERVER_ENROLMENT_ANSWER_H
#define SEATENROL_TOOLS_ENROL_SERVER_ENROLMENT_ANSWER_H

#include <cstddef>
#include <optional>
#include <vector>

#include "enrol-server/request_decoder.h"
#include "enrol-server/venue_table.h"

namespace seatenrol {

// The command ID of the answer, in its header and as its response command ID.
constexpr int kResponseCommandID = 128;
// Error numbers of the two refusals the server makes by itself.
constexpr int kWrongSecret = -4;
constexpr int kUnknownVenue = -5;
// The accepting answer's error info: credential (32 bytes), then venue ID (20).
constexpr std::size_t kCredentialSize = 32;
constexpr std::size_t kAcceptedInfoSize = kCredentialSize + kVenueIDWidth;
// The seat receives into 1024 bytes; a longer datagram would never be read.
constexpr std::size_t kLargestReply = 1024;

// Deliberate misbehaviour, for testing seats against a faulty server.
struct ServerFaults {
  bool drop = false;                    // never answer
  int delayMs = 0;                      // wait before answering
  std::optional<int> errorNo;           // answer with this error number
  std::optional<std::size_t> truncate;  // send only the first bytes
  std::optional<int> flagByte;          // the info flag byte as sent
  std::optional<int> infoLength;        // the declared error info length
  bool garbage = false;                 // random bytes of the answer's size
};

struct Answer {
  int errorNo = 0;
  bool accepted = false;  // the seat records the server for this error number
  bool answered = false;  // false: no datagram goes back
  std::vector<unsigned char> reply;
};

// The credential a venue's seat receives: AES-128 (ECB, two blocks) of the
// request's 32-byte machine characteristic under the first 16 bytes of the
// venue's secret. It depends on the venue and on the seat's MAC alone.
void DeriveCredential(const VenueSecret& secret, const unsigned char (&machineCharacteristic)[32],
                      unsigned char (&credential)[32]);

// Judges the request against the venue table: an unknown venue is refused
// with -5, a serial ID that does not open to the venue's secret with -4;
// otherwise the answer accepts with error number 0 and an information block
// whose error info is the credential and the venue ID. The faults then bend
// the answer.
Answer AnswerRequest(const DecodedRequest& request, const VenueTable& venues,
                     const ServerFaults& faults);

// True for the error numbers with which the seat counts itself refused.
bool IsRefusal(int errorNo);

}  // namespace seatenrol

#endif
