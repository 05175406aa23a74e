// The response parser over any buffer: the first four input bytes choose the
// buffer's capacity and fill length, the rest is the datagram. Create must
// never read outside the storage (the block is exactly the capacity, so a
// memory checker sees any overrun), must keep the result record's
// invariants, and what it accepts must encode back to the same fields.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "seatenrol/wire.h"

namespace {

using seatenrol::fuzz::InputReader;
using seatenrol::fuzz::Require;

constexpr std::size_t kShortReply = 91;
constexpr std::size_t kInfoAt = 139;
constexpr int kErrorInfoMax = 511;

std::int32_t BigEndianAt(const unsigned char* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 24 |
                                   static_cast<std::uint32_t>(p[1]) << 16 |
                                   static_cast<std::uint32_t>(p[2]) << 8 | p[3]);
}

bool AllZero(const unsigned char* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

bool SameBytes(const void* a, const void* b, std::size_t n) { return std::memcmp(a, b, n) == 0; }

void CheckResultInvariants(RegError& result) {
  const int length = result.GetErrorInfoLen();
  Require(result.GetInfoFlag() == 0 || result.GetInfoFlag() == 1, "info flag is 0 or 1");
  Require(length >= 0 && length <= kErrorInfoMax, "error info length within 0..511");
  Require(AllZero(result.GetErrorInfo() + length, 512 - static_cast<std::size_t>(length)),
          "error info beyond its length is zero");
  Require(result.GetHostName()[19] == 0, "host name keeps its last byte zero");
}

// What an accepted reply must have put into the record, field by field.
void CheckParsed(CResponseCommandReg& response, const unsigned char* in) {
  RegError& result = *response.GetP2PError();
  Require(response.GetCommandID() == BigEndianAt(in), "command ID");
  Require(SameBytes(response.GetPeerUserID(), in + 4, 32), "sender's ID becomes the peer user ID");
  Require(SameBytes(response.GetUserID(), in + 36, 32), "addressee's ID becomes the user ID");
  Require(response.GetCommandVer() == in[68], "command version");
  Require(SameBytes(response.GetCommandReserve(), in + 69, 9), "command reserve");
  Require(result.GetResponseCommandID() == BigEndianAt(in + 82), "response command ID");
  Require(result.GetErrorNo() == BigEndianAt(in + 86), "error number");
  Require(result.GetInfoFlag() == (in[90] != 0 ? 1 : 0), "any non-zero flag byte reads as 1");
  if (in[90] != 1) {
    // The information block is only taken when the flag byte is exactly 1.
    RegError fresh;
    Require(SameBytes(result.GetCompanyID(), fresh.GetCompanyID(), 20) &&
                result.GetLocalIP() == 0 && AllZero(result.GetHostName(), 20) &&
                result.GetErrorInfoLen() == 0,
            "no information block without flag 1");
    return;
  }
  Require(SameBytes(result.GetCompanyID(), in + 91, 20), "company ID");
  Require(result.GetLocalIP() == BigEndianAt(in + 111), "local IP");
  Require(SameBytes(result.GetHostName(), in + 115, 19), "host name's first 19 bytes");
  const std::int32_t declared = BigEndianAt(in + 135);
  const int kept = declared <= 0 ? 0 : declared > kErrorInfoMax ? kErrorInfoMax : declared;
  Require(result.GetErrorInfoLen() == kept, "error info length clamped to 0..511");
  Require(SameBytes(result.GetErrorInfo(), in + kInfoAt, static_cast<std::size_t>(kept)),
          "error info bytes");
}

// Encoding the parsed record writes its fields back in the same layout: the
// user ID as sender, the body length recomputed, the information block
// whenever the flag reads 1. Parsing that encoding gives the record again,
// with the two IDs swapped.
void CheckReencoded(CResponseCommandReg& response) {
  RegError& result = *response.GetP2PError();
  CBuf out;
  Require(out.Alloc(1024) == 1, "encode buffer");
  Require(response.GetByteBuf(out) == 1, "an accepted reply encodes");
  const unsigned char* re = out.GetData();
  const int kept = result.GetErrorInfoLen();
  const bool hasInfo = result.GetInfoFlag() == 1;
  Require(out.GetDataLen() == (hasInfo ? kInfoAt + static_cast<std::size_t>(kept) : kShortReply),
          "encoded length");
  Require(
      BigEndianAt(re) == response.GetCommandID() && SameBytes(re + 4, response.GetUserID(), 32) &&
          SameBytes(re + 36, response.GetPeerUserID(), 32) && re[68] == response.GetCommandVer() &&
          SameBytes(re + 69, response.GetCommandReserve(), 9),
      "encoded header");
  Require(BigEndianAt(re + 78) == kept + 57, "encoded body length");
  Require(BigEndianAt(re + 82) == result.GetResponseCommandID() &&
              BigEndianAt(re + 86) == result.GetErrorNo(),
          "encoded result numbers");
  Require(re[90] == (hasInfo ? 1 : 0), "encoded flag byte");
  if (hasInfo) {
    Require(SameBytes(re + 91, result.GetCompanyID(), 20) &&
                BigEndianAt(re + 111) == result.GetLocalIP() &&
                SameBytes(re + 115, result.GetHostName(), 20),
            "encoded information block");
    Require(BigEndianAt(re + 135) == kept, "encoded error info length");
    Require(SameBytes(re + kInfoAt, result.GetErrorInfo(), static_cast<std::size_t>(kept)),
            "encoded error info");
  }

  CResponseCommandReg again;
  Require(again.Create(&out) == 1, "the encoding parses");
  Require(SameBytes(again.GetP2PError(), &result, sizeof result), "result part survives");
  Require(again.GetCommandID() == response.GetCommandID() &&
              SameBytes(again.GetUserID(), response.GetPeerUserID(), 32) &&
              SameBytes(again.GetPeerUserID(), response.GetUserID(), 32) &&
              again.GetCommandVer() == response.GetCommandVer() &&
              SameBytes(again.GetCommandReserve(), response.GetCommandReserve(), 9),
          "header survives, IDs swapped");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  InputReader input(data, size);
  // Capacity up to 2047 and fill length up to the capacity, so both the
  // short and the oversized cases come up.
  const unsigned int capacity = input.Uint16() % 2048u;
  const unsigned int wanted = input.Uint16();
  const unsigned int fill = capacity == 0 ? 0 : wanted % (capacity + 1);

  CBuf buf;
  if (capacity > 0) {
    Require(buf.Alloc(capacity) == 1, "Alloc");
    input.Bytes(buf.GetData(), capacity);
    Require(buf.SetDataLen(fill) == 1, "SetDataLen within the capacity");
  }

  CResponseCommandReg response;
  const CResponseCommandReg fresh;
  const int created = response.Create(&buf);
  CheckResultInvariants(*response.GetP2PError());

  const unsigned char* in = buf.GetData();
  if (created != 1) {
    Require(SameBytes(&response, &fresh, sizeof response), "a refused reply changes nothing");
    // A reply that holds its whole layout is never refused.
    if (fill >= kShortReply) {
      const bool hasInfo = in[90] == 1;
      const std::int32_t declared = fill >= kInfoAt ? BigEndianAt(in + 135) : 0;
      const std::size_t needed = kInfoAt + static_cast<std::size_t>(declared > 0 ? declared : 0);
      Require(hasInfo && fill < needed, "only a reply shorter than its layout is refused");
    }
    return 0;
  }
  Require(fill >= kShortReply, "a reply under 91 bytes is refused");
  CheckParsed(response, in);
  CheckReencoded(response);
  CheckResultInvariants(*response.GetP2PError());

  // Copying the result part keeps the invariants too.
  RegError copy;
  Require(copy.SetP2PError(response.GetP2PError()) == 1, "SetP2PError");
  CheckResultInvariants(copy);
  return 0;
}
