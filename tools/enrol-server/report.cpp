#include "enrol-server/report.h"

#include "common/hex.h"
#include "platform/ipv4_text.h"

namespace seatenrol {

namespace {

// Builds one flat JSON object, fields in the order added.
class JsonObject {
public:
  JsonObject& Text(const char* key, const std::string& value) {
    return Raw(key, JsonString(value));
  }
  // A text field of the request, up to its first NUL, read as GBK; when it
  // is not valid GBK its bytes follow in "<key>Hex".
  template <std::size_t N>
  JsonObject& Field(const char* key, const unsigned char (&field)[N]) {
    return Field(key, field, N);
  }
  JsonObject& Field(const char* key, const unsigned char* field, std::size_t width) {
    const std::string bytes = FieldText(field, width);
    bool exact = true;
    Text(key, GbkToUtf8(bytes, exact));
    if (exact) return *this;
    const std::string hexKey = std::string(key) + "Hex";
    return Text(hexKey.c_str(),
                ToHex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
  }
  JsonObject& Number(const char* key, long long value) { return Raw(key, std::to_string(value)); }
  JsonObject& Flag(const char* key, bool value) { return Raw(key, value ? "true" : "false"); }
  std::string Line() const { return "{" + m_body + "}"; }

private:
  JsonObject& Raw(const char* key, const std::string& value) {
    if (!m_body.empty()) m_body += ',';
    m_body += JsonString(key) + ":" + value;
    return *this;
  }
  std::string m_body;
};

}  // namespace

std::string ListeningLine(const std::string& address, int port) {
  return JsonObject()
      .Text("event", "listening")
      .Text("address", address)
      .Number("port", port)
      .Line();
}

std::string RequestLine(const DecodedRequest& request, const std::string& peer, std::size_t length,
                        const Answer& answer) {
  char ip[16] = {};
  FormatDottedIPv4(request.localIP, ip);
  return JsonObject()
      .Text("event", "request")
      .Text("peer", peer)
      .Number("length", static_cast<long long>(length))
      .Number("commandID", request.commandID)
      .Number("bodyLength", request.bodyLength)
      .Number("userType", request.userType)
      .Field("userLevel", request.userLevel)
      .Field("countryID", request.countryID)
      .Field("provinceID", request.provinceID)
      .Field("cityID", request.cityID)
      .Field("areaID", request.areaID)
      .Field("companyID", request.companyID, kVenueIDWidth)
      .Text("localIP", ip)
      .Text("localMAC", ToHex(request.localMAC, sizeof request.localMAC))
      .Field("hostName", request.hostName)
      .Field("machineCharacteristic", request.machineCharacteristic)
      .Text("serialPassword", ToHex(request.serialPassword, sizeof request.serialPassword))
      .Number("errorNo", answer.errorNo)
      .Flag("accepted", answer.accepted)
      .Flag("answered", answer.answered)
      .Number("replyLength", answer.answered ? static_cast<long long>(answer.reply.size()) : 0)
      .Line();
}

std::string IgnoredLine(const std::string& peer, std::size_t length, const std::string& reason) {
  return JsonObject()
      .Text("event", "ignored")
      .Text("peer", peer)
      .Number("length", static_cast<long long>(length))
      .Text("reason", reason)
      .Line();
}

std::string DroppedLine(std::size_t lines) {
  return JsonObject()
      .Text("event", "dropped")
      .Number("lines", static_cast<long long>(lines))
      .Line();
}

}  // namespace seatenrol
