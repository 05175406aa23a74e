#include <climits>
#include <cstring>
#include <new>

#include "platform/wipe.h"
#include "seatenrol/session.h"
#include "session/session_limits.h"

namespace {

template <typename Field>
void ZeroField(Field& field) {
  std::memset(field, 0, sizeof field);
}

template <typename Field>
void CopyField(Field& to, const Field& from) {
  std::memcpy(to, from, sizeof to);
}

}  // namespace

CRegisterSession::CRegisterSession() : CP2PCommunication(), m_packetBuffer(nullptr), m_userType(0) {
  // Without the buffer the session still exists; Init and SendCommand then fail.
  m_packetBuffer = new (std::nothrow) CBuf();
  // Cleared here too, so a Register run without Init sends zero identities
  // rather than leftover memory.
  ZeroField(m_userID);
  ZeroField(m_venueID);
  ZeroField(m_secret);
  ZeroField(m_serialPassword);
  ZeroField(m_peerUserID);
}

CRegisterSession::~CRegisterSession() {
  // The caller's secret goes with the session: nothing the host reads later
  // may find it in freed memory or an old stack frame.
  seatenrol::WipeBytes(m_secret, sizeof m_secret);
  delete m_packetBuffer;
  m_packetBuffer = nullptr;
  // The base releases the endpoint if it is still open.
}

CRegisterSession& CRegisterSession::operator=(const CRegisterSession& other) {
  if (this == &other) return *this;
  // The packet buffer and the endpoint stay this session's own: sharing either
  // would leave two owners of one block or one socket.
  CopyField(m_userID, other.m_userID);
  m_userType = other.m_userType;
  CopyField(m_venueID, other.m_venueID);
  CopyField(m_secret, other.m_secret);
  CopyField(m_serialPassword, other.m_serialPassword);
  CopyField(m_peerUserID, other.m_peerUserID);
  return *this;
}

int CRegisterSession::Init() {
  if (m_packetBuffer == nullptr) return 0;
  if (!m_packetBuffer->Alloc(seatenrol::kPacketBufferSize)) return 0;
  ZeroField(m_userID);
  ZeroField(m_venueID);
  seatenrol::WipeBytes(m_secret, sizeof m_secret);
  return 1;
}

void CRegisterSession::Close() { CP2PCommunication::Close(); }

int CRegisterSession::SendCommand(CPSCRegisterCommand* request) {
  if (request == nullptr || m_packetBuffer == nullptr) return 0;
  m_packetBuffer->Reset();
  if (!request->GetByteBuf(*m_packetBuffer)) return 0;
  const int result = SendTo(reinterpret_cast<const char*>(m_packetBuffer->GetData()),
                            static_cast<int>(m_packetBuffer->GetDataLen()));
  return result == CONST_COMMUNICATION_ERROR || result == CONST_COMMUNICATION_PACKET_ERROR ? 0 : 1;
}

namespace {

// The capacity as the transport takes it; a larger block is used only in part.
int ReceiveCapacity(const CBuf& buf) {
  return buf.GetCapacity() > static_cast<unsigned int>(INT_MAX)
             ? INT_MAX
             : static_cast<int>(buf.GetCapacity());
}

// Records the length of a received datagram; failure codes leave the buffer alone.
int KeepReceived(CBuf& buf, int result) {
  if (result > 0) buf.SetDataLen(static_cast<unsigned int>(result));
  return result;
}

}  // namespace

int CRegisterSession::RawRecvFrom(CBuf& buf, int waitMs) {
  return KeepReceived(
      buf, RecvFrom(reinterpret_cast<char*>(buf.GetData()), ReceiveCapacity(buf), waitMs));
}

int CRegisterSession::RawRecvFrom(CBuf& buf) {
  return KeepReceived(buf, RecvFrom(reinterpret_cast<char*>(buf.GetData()), ReceiveCapacity(buf)));
}
