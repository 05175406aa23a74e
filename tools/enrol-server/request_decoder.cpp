#include "enrol-server/request_decoder.h"

#include <cstring>

#include "platform/ipv4_text.h"

namespace seatenrol {

namespace {

// Reads the layout's fields in wire order; the caller has checked the length.
class FieldReader {
public:
  explicit FieldReader(const unsigned char* data) : m_data(data), m_offset(0) {}

  template <std::size_t N>
  void Bytes(unsigned char (&field)[N]) {
    std::memcpy(field, m_data + m_offset, N);
    m_offset += N;
  }
  void Byte(unsigned char& value) {
    value = m_data[m_offset];
    m_offset += 1;
  }
  std::uint32_t Word() {
    const std::uint32_t value = LoadBigEndian32(m_data + m_offset);
    m_offset += 4;
    return value;
  }
  std::size_t Offset() const { return m_offset; }

private:
  const unsigned char* m_data;
  std::size_t m_offset;
};

}  // namespace

bool DecodeRequest(const unsigned char* data, std::size_t length, DecodedRequest& out) {
  if (data == nullptr || length != kRequestSize) return false;
  DecodedRequest request;
  FieldReader in(data);
  request.commandID = static_cast<std::int32_t>(in.Word());
  in.Bytes(request.userID);
  in.Bytes(request.peerUserID);
  in.Byte(request.commandVer);
  in.Bytes(request.commandReserve);
  request.bodyLength = static_cast<std::int32_t>(in.Word());
  in.Byte(request.userType);
  in.Bytes(request.userLevel);
  in.Bytes(request.countryID);
  in.Bytes(request.provinceID);
  in.Bytes(request.cityID);
  in.Bytes(request.areaID);
  in.Bytes(request.companyID);
  request.localIP = in.Word();
  in.Bytes(request.localMAC);
  in.Bytes(request.hostName);
  in.Bytes(request.machineCharacteristic);
  in.Bytes(request.serialID);
  in.Bytes(request.serialPassword);
  if (in.Offset() != kRequestSize) return false;
  out = request;
  return true;
}

std::string FieldText(const unsigned char* field, std::size_t width) {
  const void* end = std::memchr(field, 0, width);
  const std::size_t length =
      end == nullptr ? width
                     : static_cast<std::size_t>(static_cast<const unsigned char*>(end) - field);
  return std::string(reinterpret_cast<const char*>(field), length);
}

std::string VenueIDOf(const DecodedRequest& request) {
  return FieldText(request.companyID, kVenueIDWidth);
}

}  // namespace seatenrol
