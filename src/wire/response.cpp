#include <cstring>

#include "seatenrol/wire.h"
#include "wire/wire_fields.h"

using seatenrol::CopyIntoField;
using seatenrol::LoadInt32;

namespace {
constexpr int kErrorInfoMax = 511;
// Body bytes counted besides the error info: the encoder writes n + 57 even
// when the information block is left out.
constexpr int kResponseBodyBase = 57;

// Offsets of the response body; the table beside the encoder gives the rest.
constexpr std::size_t kResponseCommandIDAt = 82;
constexpr std::size_t kErrorNoAt = 86;
constexpr std::size_t kInfoFlagAt = 90;
constexpr std::size_t kCompanyIDAt = 91;
constexpr std::size_t kLocalIPAt = 111;
constexpr std::size_t kHostNameAt = 115;
constexpr std::size_t kErrorInfoLenAt = 135;
constexpr std::size_t kErrorInfoAt = 139;
constexpr std::size_t kShortResponseSize = kInfoFlagAt + 1;  // 91
}  // namespace

// ---- RegError ----

RegError::RegError()
    : m_responseCommandID(0),
      m_errorNo(0),
      m_infoFlag(0),
      m_companyID{},
      m_localIP(0),
      m_hostName{},
      m_errorInfoLen(0),
      m_errorInfo{} {}

RegError::~RegError() {}

RegError& RegError::operator=(const RegError& other) = default;

void RegError::SetResponseCommandID(int id) { m_responseCommandID = id; }
int RegError::GetResponseCommandID() { return m_responseCommandID; }

void RegError::SetErrorNo(int errorNo) { m_errorNo = errorNo; }
int RegError::GetErrorNo() { return m_errorNo; }

void RegError::SetInfoFlag(int flag) { m_infoFlag = flag != 0 ? 1 : 0; }
int RegError::GetInfoFlag() { return m_infoFlag == 1 ? 1 : 0; }

int RegError::SetCompanyID(unsigned char* source, int count) {
  return CopyIntoField(m_companyID, source, count);
}
unsigned char* RegError::GetCompanyID() { return m_companyID; }

int RegError::SetLocalIP(int address) {
  m_localIP = address;
  return 1;
}
int RegError::GetLocalIP() { return m_localIP; }

int RegError::SetHostName(unsigned char* source, int count) {
  if (source == nullptr || count <= 0) return 0;
  // The last byte stays zero so the name always reads as terminated text.
  constexpr int kKept = static_cast<int>(sizeof m_hostName) - 1;
  unsigned char name[sizeof m_hostName] = {};
  std::memcpy(name, source, static_cast<std::size_t>(count < kKept ? count : kKept));
  std::memcpy(m_hostName, name, sizeof name);
  return 1;
}
unsigned char* RegError::GetHostName() { return m_hostName; }

void RegError::SetErrorInfo(unsigned char* source, int count) {
  if (source == nullptr || count <= 0) {
    std::memset(m_errorInfo, 0, sizeof m_errorInfo);
    m_errorInfoLen = 0;
    return;
  }
  if (count > kErrorInfoMax) count = kErrorInfoMax;
  // Taken through a copy so a source inside this record survives the clearing.
  unsigned char info[sizeof m_errorInfo] = {};
  std::memcpy(info, source, static_cast<std::size_t>(count));
  std::memcpy(m_errorInfo, info, sizeof info);
  m_errorInfoLen = count;
}
unsigned char* RegError::GetErrorInfo() { return m_errorInfo; }
int RegError::GetErrorInfoLen() { return m_errorInfoLen; }

int RegError::SetP2PError(RegError* source) {
  if (source == nullptr) return 0;
  m_responseCommandID = source->m_responseCommandID;
  m_errorNo = source->m_errorNo;
  m_infoFlag = source->m_infoFlag == 1 ? 1 : 0;
  std::memmove(m_companyID, source->m_companyID, sizeof m_companyID);
  m_localIP = source->m_localIP;
  SetHostName(source->m_hostName, sizeof source->m_hostName);
  SetErrorInfo(source->m_errorInfo, source->m_errorInfoLen);
  return 1;
}

// ---- CResponseCommandReg ----

CResponseCommandReg::CResponseCommandReg()
    : m_result(), m_commandID(0), m_userID{}, m_peerUserID{}, m_commandReserve{}, m_commandVer(0) {}

CResponseCommandReg::~CResponseCommandReg() {}

CResponseCommandReg& CResponseCommandReg::operator=(const CResponseCommandReg& other) = default;

int CResponseCommandReg::Create(CBuf* buf) {
  if (buf == nullptr) return 0;
  const unsigned char* in = buf->GetData();
  const std::size_t length = buf->GetDataLen();
  // A reply shorter than the layout it declares is refused before any field
  // is taken, so nothing past the received bytes is ever read.
  if (in == nullptr || length < kShortResponseSize) return 0;
  const bool hasInfo = in[kInfoFlagAt] == 1;
  int infoLen = 0;
  if (hasInfo) {
    if (length < kErrorInfoAt) return 0;
    infoLen = LoadInt32(in + kErrorInfoLenAt);
    if (infoLen > kErrorInfoMax) infoLen = kErrorInfoMax;
    if (infoLen > 0 && length < kErrorInfoAt + static_cast<std::size_t>(infoLen)) return 0;
  }

  // Header: the first ID is the sender's, which for this side is its peer.
  m_commandID = LoadInt32(in);
  std::memcpy(m_peerUserID, in + 4, sizeof m_peerUserID);
  std::memcpy(m_userID, in + 36, sizeof m_userID);
  m_commandVer = in[68];
  std::memcpy(m_commandReserve, in + 69, sizeof m_commandReserve);
  // The body length (bytes 78-81) is not relied on.

  m_result.SetResponseCommandID(LoadInt32(in + kResponseCommandIDAt));
  m_result.SetErrorNo(LoadInt32(in + kErrorNoAt));
  m_result.SetInfoFlag(in[kInfoFlagAt]);
  if (hasInfo) {
    unsigned char* block = buf->GetData();
    m_result.SetCompanyID(block + kCompanyIDAt, 20);
    m_result.SetLocalIP(LoadInt32(in + kLocalIPAt));
    m_result.SetHostName(block + kHostNameAt, 20);
    m_result.SetErrorInfo(infoLen > 0 ? block + kErrorInfoAt : nullptr, infoLen);
  }
  return 1;
}

// The registration response: the 82-byte packet header (body length n + 57),
// then the body; the information block follows only when the flag is 1, so
// the reply is 91 bytes, or 139 + n with the block (at most 650).
//
//   offset size  field                  encoding
//        0   82  packet header          see WritePacketHeader; the encoder writes
//                                       its user ID as sender, its peer user ID
//                                       as addressee, and the parser swaps them
//       82    4  response command ID    big-endian
//       86    4  error number           big-endian, signed
//       90    1  info flag              1: the information block follows
//       91   20  company ID             bytes as stored
//      111    4  local IP               big-endian of the host-order value
//      115   20  host name              the parser keeps the first 19 bytes
//      135    4  error info length n    big-endian, signed
//      139    n  error info             only when n > 0; at most 511 kept
int CResponseCommandReg::GetByteBuf(CBuf& buf) {
  RegError& r = m_result;
  const int infoLen = r.GetErrorInfoLen();
  seatenrol::WireWriter out(buf);
  seatenrol::WritePacketHeader(out, m_commandID, m_userID, m_peerUserID, m_commandVer,
                               m_commandReserve, infoLen + kResponseBodyBase);
  const unsigned char flag = r.GetInfoFlag() == 1 ? 1 : 0;
  out.Int32(r.GetResponseCommandID()).Int32(r.GetErrorNo()).Byte(flag);
  if (flag == 1) {
    out.Bytes(r.GetCompanyID(), 20).Int32(r.GetLocalIP()).Bytes(r.GetHostName(), 20).Int32(infoLen);
    if (infoLen > 0) out.Bytes(r.GetErrorInfo(), static_cast<std::size_t>(infoLen));
  }
  return out.Result();
}

int CResponseCommandReg::GetCommandID() { return m_commandID; }

int CResponseCommandReg::SetUserID(unsigned char* source, int count) {
  return CopyIntoField(m_userID, source, count);
}
unsigned char* CResponseCommandReg::GetUserID() { return m_userID; }

int CResponseCommandReg::SetPeerUserID(unsigned char* source, int count) {
  return CopyIntoField(m_peerUserID, source, count);
}
unsigned char* CResponseCommandReg::GetPeerUserID() { return m_peerUserID; }

int CResponseCommandReg::SetCommandReserve(unsigned char* source, int count) {
  return CopyIntoField(m_commandReserve, source, count);
}
unsigned char* CResponseCommandReg::GetCommandReserve() { return m_commandReserve; }

void CResponseCommandReg::SetCommandVer(unsigned char version) { m_commandVer = version; }
unsigned char CResponseCommandReg::GetCommandVer() { return m_commandVer; }

int CResponseCommandReg::SetP2PError(RegError* source) {
  if (source == nullptr) return 0;
  return m_result.SetP2PError(source);
}

RegError* CResponseCommandReg::GetP2PError() { return &m_result; }
