#include <cstdint>

#include "platform/ipv4_text.h"
#include "seatenrol/wire.h"
#include "wire/wire_fields.h"

using seatenrol::CopyIntoField;

namespace {
constexpr int kRegisterCommandID = 127;
constexpr int kRegisterBodyLength = 277;
}  // namespace

CPSCRegisterCommand::CPSCRegisterCommand()
    : m_userType(255),
      m_userLevel{},
      m_countryID{},
      m_provinceID{},
      m_cityID{},
      m_areaID{},
      m_companyID{},
      m_localIP(0),
      m_localMAC{},
      m_hostName{},
      m_machineCharacteristic{},
      m_serialID{},
      m_serialPassword{},
      m_commandID(kRegisterCommandID),
      m_userID{},
      m_peerUserID{},
      m_commandReserve{},
      m_commandVer(0) {}

CPSCRegisterCommand::~CPSCRegisterCommand() {}

CPSCRegisterCommand& CPSCRegisterCommand::operator=(const CPSCRegisterCommand& other) = default;

unsigned char CPSCRegisterCommand::GetUserType() { return m_userType; }
void CPSCRegisterCommand::SetUserType(unsigned char userType) { m_userType = userType; }

unsigned char* CPSCRegisterCommand::GetUserLevel() { return m_userLevel; }
int CPSCRegisterCommand::SetUserLevel(unsigned char* source, int count) {
  return CopyIntoField(m_userLevel, source, count);
}

unsigned char* CPSCRegisterCommand::GetCountryID() { return m_countryID; }
int CPSCRegisterCommand::SetCountryID(unsigned char* source, int count) {
  return CopyIntoField(m_countryID, source, count);
}

unsigned char* CPSCRegisterCommand::GetProvinceID() { return m_provinceID; }
int CPSCRegisterCommand::SetProvinceID(unsigned char* source, int count) {
  return CopyIntoField(m_provinceID, source, count);
}

unsigned char* CPSCRegisterCommand::GetCityID() { return m_cityID; }
int CPSCRegisterCommand::SetCityID(unsigned char* source, int count) {
  return CopyIntoField(m_cityID, source, count);
}

unsigned char* CPSCRegisterCommand::GetAreaID() { return m_areaID; }
int CPSCRegisterCommand::SetAreaID(unsigned char* source, int count) {
  return CopyIntoField(m_areaID, source, count);
}

unsigned char* CPSCRegisterCommand::GetCompanyID() { return m_companyID; }
int CPSCRegisterCommand::SetCompanyID(unsigned char* source, int count) {
  return CopyIntoField(m_companyID, source, count);
}

int CPSCRegisterCommand::GetLocalIP() { return m_localIP; }
int CPSCRegisterCommand::SetLocalIP(const char* text) {
  // The parser is CSocketAddress::CheckStrIP's own: it refuses exactly the
  // text the check refuses (null included), so the address is read once.
  std::uint32_t address = 0;
  if (!seatenrol::ParseDottedIPv4(text, &address)) return 0;
  m_localIP = static_cast<int>(address);
  return 1;
}

unsigned char* CPSCRegisterCommand::GetLocalMAC() { return m_localMAC; }
int CPSCRegisterCommand::SetLocalMAC(const unsigned char* source, int count) {
  return CopyIntoField(m_localMAC, source, count);
}

unsigned char* CPSCRegisterCommand::GetHostName() { return m_hostName; }
int CPSCRegisterCommand::SetHostName(unsigned char* source, int count) {
  return CopyIntoField(m_hostName, source, count);
}

unsigned char* CPSCRegisterCommand::GetMachineCharacteristic() { return m_machineCharacteristic; }
int CPSCRegisterCommand::SetMachineCharacteristic(unsigned char* source, int count) {
  return CopyIntoField(m_machineCharacteristic, source, count);
}

unsigned char* CPSCRegisterCommand::GetSerialID() { return m_serialID; }
int CPSCRegisterCommand::SetSerialID(unsigned char* source, int count) {
  return CopyIntoField(m_serialID, source, count);
}

unsigned char* CPSCRegisterCommand::GetSerialPassword() { return m_serialPassword; }
int CPSCRegisterCommand::SetSerialPassword(unsigned char* source, int count) {
  return CopyIntoField(m_serialPassword, source, count);
}

int CPSCRegisterCommand::GetCommandID() { return m_commandID; }

// The header IDs and reserve are clamped to their width like every other
// field: a longer count would otherwise run over the neighbouring fields.
unsigned char* CPSCRegisterCommand::GetUserID() { return m_userID; }
int CPSCRegisterCommand::SetUserID(unsigned char* source, int count) {
  return CopyIntoField(m_userID, source, count);
}

unsigned char* CPSCRegisterCommand::GetPeerUserID() { return m_peerUserID; }
int CPSCRegisterCommand::SetPeerUserID(unsigned char* source, int count) {
  return CopyIntoField(m_peerUserID, source, count);
}

unsigned char* CPSCRegisterCommand::GetCommandReserve() { return m_commandReserve; }
int CPSCRegisterCommand::SetCommandReserve(unsigned char* source, int count) {
  return CopyIntoField(m_commandReserve, source, count);
}

unsigned char CPSCRegisterCommand::GetCommandVer() { return m_commandVer; }
void CPSCRegisterCommand::SetCommandVer(unsigned char version) { m_commandVer = version; }

// The registration request, 359 bytes: the 82-byte packet header (body
// length always 277) and then the body.
//
//   offset size  field                   encoding
//        0   82  packet header           see WritePacketHeader
//       82    1  user type               byte
//       83    2  user level              bytes as stored
//       85   32  country ID              bytes as stored
//      117   32  province ID             bytes as stored
//      149   32  city ID                 bytes as stored
//      181   32  area ID                 bytes as stored
//      213   32  company ID              bytes as stored
//      245    4  local IP                big-endian: w.x.y.z gives w, x, y, z
//      249    6  local MAC               bytes as stored
//      255   20  host name               bytes as stored
//      275   32  machine characteristic  bytes as stored
//      307   32  serial ID               bytes as stored
//      339   20  serial password         bytes as stored
int CPSCRegisterCommand::GetByteBuf(CBuf& buf) {
  seatenrol::WireWriter out(buf);
  seatenrol::WritePacketHeader(out, m_commandID, m_userID, m_peerUserID, m_commandVer,
                               m_commandReserve, kRegisterBodyLength);
  out.Byte(m_userType)
      .Field(m_userLevel)
      .Field(m_countryID)
      .Field(m_provinceID)
      .Field(m_cityID)
      .Field(m_areaID)
      .Field(m_companyID)
      .Int32(m_localIP)
      .Field(m_localMAC)
      .Field(m_hostName)
      .Field(m_machineCharacteristic)
      .Field(m_serialID)
      .Field(m_serialPassword);
  return out.Result();
}
