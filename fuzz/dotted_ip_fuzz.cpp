// The dotted IPv4 check: CSocketAddress::CheckStrIP, CSocketAddress::SetIP and
// CPSCRegisterCommand::SetLocalIP must accept exactly the texts a strict
// reference accepts (four decimal parts 0-255, no leading zeros, nothing
// else), and store exactly its value.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "platform/ipv4_text.h"
#include "seatenrol/transport.h"
#include "seatenrol/wire.h"

namespace {

using seatenrol::fuzz::ReferenceParse;
using seatenrol::fuzz::Require;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The text ends at the first NUL, as every caller's text does.
  const char* begin = reinterpret_cast<const char*>(data);
  const std::string text(begin, data == nullptr ? begin : std::find(begin, begin + size, '\0'));

  std::uint32_t expected = 0;
  const bool valid = ReferenceParse(text, &expected);

  Require((CSocketAddress::CheckStrIP(text.c_str()) != 0) == valid, "CheckStrIP agrees");

  std::uint32_t parsed = 0xDEADBEEF;
  const bool parsedOk = seatenrol::ParseDottedIPv4(text.c_str(), &parsed);
  Require(parsedOk == valid, "ParseDottedIPv4 agrees");
  Require(parsedOk ? parsed == expected : parsed == 0xDEADBEEF, "ParseDottedIPv4 value");
  if (valid) {
    // Accepted texts are canonical, so formatting the value gives them back.
    char formatted[16];
    seatenrol::FormatDottedIPv4(expected, formatted);
    Require(text == formatted, "FormatDottedIPv4 round trip");
  }

  CPSCRegisterCommand request;
  Require(request.SetLocalIP("10.0.0.1") == 1, "SetLocalIP takes a plain address");
  const int before = request.GetLocalIP();
  const int stored = request.SetLocalIP(text.c_str());
  Require((stored == 1) == valid, "SetLocalIP agrees");
  Require(request.GetLocalIP() == (valid ? static_cast<int>(expected) : before),
          "SetLocalIP stores the value, or keeps the old one");

  CSocketAddress address;
  Require(address.SetIP("10.0.0.1") != 0, "SetIP takes a plain address");
  const int set = address.SetIP(text.c_str());
  Require((set != 0) == valid, "SetIP agrees");
  Require(std::strcmp(address.GetIP(), valid ? text.c_str() : "10.0.0.1") == 0,
          "SetIP stores the text, or keeps the old one");
  return 0;
}
