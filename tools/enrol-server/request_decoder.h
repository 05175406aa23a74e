// The registration request as the management server reads it from the wire.
#ifndef SEATENROL_TOOLS_ENROL_SERVER_REQUEST_DECODER_H
#define SEATENROL_TOOLS_ENROL_SERVER_REQUEST_DECODER_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace seatenrol {

// Request layout, 359 bytes: an 82-byte packet header, then a 277-byte body.
// Integers are 32-bit big-endian; byte fields travel at full width.
//
//   offset size  field
//        0    4  command ID               127
//        4   32  user ID                  the sender's
//       36   32  peer user ID             the addressee's
//       68    1  command version
//       69    9  command reserve
//       78    4  body length              277
//       82    1  user type                2
//       83    2  user level               "10"
//       85   32  country ID               "86"
//      117   32  province ID              two characters of the venue ID
//      149   32  city ID                  the next two
//      181   32  area ID                  the next two
//      213   32  company ID               the venue ID (20 bytes), then zero
//      245    4  local IP                 w.x.y.z as the bytes w, x, y, z
//      249    6  local MAC
//      255   20  host name
//      275   32  machine characteristic   the MAC as 12 hex digits, then zero
//      307   32  serial ID                the secret sealed under kSealingKey
//      339   20  serial password
constexpr std::size_t kRequestSize = 359;
constexpr std::size_t kVenueIDWidth = 20;

struct DecodedRequest {
  std::int32_t commandID;
  unsigned char userID[32];
  unsigned char peerUserID[32];
  unsigned char commandVer;
  unsigned char commandReserve[9];
  std::int32_t bodyLength;
  unsigned char userType;
  unsigned char userLevel[2];
  unsigned char countryID[32];
  unsigned char provinceID[32];
  unsigned char cityID[32];
  unsigned char areaID[32];
  unsigned char companyID[32];
  std::uint32_t localIP;  // host order
  unsigned char localMAC[6];
  unsigned char hostName[20];
  unsigned char machineCharacteristic[32];
  unsigned char serialID[32];
  unsigned char serialPassword[20];
};

// Decodes a datagram of exactly 359 bytes; false (out untouched) for any
// other length: a longer datagram that begins like a request is not one.
bool DecodeRequest(const unsigned char* data, std::size_t length, DecodedRequest& out);

// A fixed-width field's text: its bytes up to the first NUL within width.
std::string FieldText(const unsigned char* field, std::size_t width);

// The venue ID the request names: its company ID up to a NUL within 20 bytes.
std::string VenueIDOf(const DecodedRequest& request);

}  // namespace seatenrol

#endif
