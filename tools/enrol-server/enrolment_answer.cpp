#include "enrol-server/enrolment_answer.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "crypto/crypto.h"
#include "platform/ipv4_text.h"
#include "seatenrol/wire.h"

namespace seatenrol {

namespace {

// Offsets in the answer: the info flag byte, and the error info length that
// closes the information block.
constexpr std::size_t kInfoFlagOffset = 90;
constexpr std::size_t kInfoLengthOffset = 135;
constexpr std::size_t kInfoOffset = 139;

bool SecretMatches(const DecodedRequest& request, const VenueSecret& secret) {
  CAesCipher cipher;
  unsigned char opened[sizeof request.serialID] = {};
  if (cipher.SetKey(sizeof kSealingKey, kSealingKey) != 0) return false;
  if (cipher.Decrypt(request.serialID, sizeof request.serialID, opened, sizeof opened) !=
      static_cast<int>(sizeof opened)) {
    return false;
  }
  return std::memcmp(opened, secret.data(), secret.size()) == 0;
}

// The answer's bytes; info, when given, is the accepted error info
// (kAcceptedInfoSize bytes).
std::vector<unsigned char> EncodeAnswer(const DecodedRequest& request, int errorNo,
                                        unsigned char* info) {
  // The record's setters take writable sources.
  DecodedRequest seat = request;
  RegError result;
  result.SetResponseCommandID(kResponseCommandID);
  result.SetErrorNo(errorNo);
  if (info != nullptr) {
    result.SetInfoFlag(1);
    result.SetCompanyID(seat.companyID, static_cast<int>(kVenueIDWidth));
    result.SetLocalIP(static_cast<int>(seat.localIP));
    result.SetHostName(seat.hostName, sizeof seat.hostName);
    result.SetErrorInfo(info, static_cast<int>(kAcceptedInfoSize));
  }
  CResponseCommandReg response;
  response.SetPeerUserID(seat.userID, sizeof seat.userID);
  response.SetP2PError(&result);
  CBuf buf;
  if (!buf.Alloc(kLargestReply) || !response.GetByteBuf(buf)) return {};
  std::vector<unsigned char> reply(buf.GetData(), buf.GetData() + buf.GetDataLen());
  // The record has no setter for its header's command ID.
  StoreBigEndian32(kResponseCommandID, reply.data());
  return reply;
}

// Declares length bytes of error info and sends as many as the seat can
// receive: the accepted info first, then a counting filler.
void SetDeclaredInfoLength(std::vector<unsigned char>& reply, int length) {
  if (reply.size() < kInfoOffset) return;
  std::vector<unsigned char> info(reply.begin() + kInfoOffset, reply.end());
  reply.resize(kInfoOffset);
  StoreBigEndian32(static_cast<std::uint32_t>(length), reply.data() + kInfoLengthOffset);
  const std::size_t wanted = length > 0 ? static_cast<std::size_t>(length) : 0;
  const std::size_t sent = std::min(wanted, kLargestReply - kInfoOffset);
  for (std::size_t i = 0; i < sent; ++i) {
    reply.push_back(i < info.size() ? info[i] : static_cast<unsigned char>(i));
  }
}

}  // namespace

bool IsRefusal(int errorNo) { return errorNo == -4 || errorNo == -5 || errorNo == -6; }

void DeriveCredential(const VenueSecret& secret, const unsigned char (&machineCharacteristic)[32],
                      unsigned char (&credential)[32]) {
  CAesCipher cipher;
  std::memset(credential, 0, sizeof credential);
  if (cipher.SetKey(16, secret.data()) != 0) return;
  cipher.Encrypt(machineCharacteristic, sizeof machineCharacteristic, credential,
                 sizeof credential);
}

Answer AnswerRequest(const DecodedRequest& request, const VenueTable& venues,
                     const ServerFaults& faults) {
  Answer answer;
  const VenueSecret* secret = venues.Find(VenueIDOf(request));
  unsigned char info[kAcceptedInfoSize] = {};
  bool withInfo = false;
  if (secret == nullptr) {
    answer.errorNo = kUnknownVenue;
  } else if (!SecretMatches(request, *secret)) {
    answer.errorNo = kWrongSecret;
  } else {
    unsigned char credential[kCredentialSize];
    DeriveCredential(*secret, request.machineCharacteristic, credential);
    std::memcpy(info, credential, kCredentialSize);
    std::memcpy(info + kCredentialSize, request.companyID, kVenueIDWidth);
    withInfo = true;
  }
  if (faults.errorNo) answer.errorNo = *faults.errorNo;
  answer.accepted = !IsRefusal(answer.errorNo);

  answer.reply = EncodeAnswer(request, answer.errorNo, withInfo ? info : nullptr);
  if (withInfo && faults.infoLength) SetDeclaredInfoLength(answer.reply, *faults.infoLength);
  if (faults.flagByte && answer.reply.size() > kInfoFlagOffset) {
    answer.reply[kInfoFlagOffset] = static_cast<unsigned char>(*faults.flagByte);
  }
  if (faults.garbage) {
    std::random_device seed;
    std::mt19937 random(seed());
    for (unsigned char& byte : answer.reply) byte = static_cast<unsigned char>(random());
  }
  if (faults.truncate && *faults.truncate < answer.reply.size()) {
    answer.reply.resize(*faults.truncate);
  }
  answer.answered = !faults.drop;
  return answer;
}

}  // namespace seatenrol
