// The byte-exact records of the registration exchange and the buffer they
// pass through.
#ifndef SEATENROL_WIRE_H
#define SEATENROL_WIRE_H

#include "seatenrol/export.h"

// A fixed-capacity byte buffer with a fill length; it never grows.
class SEATENROL_API CBuf {
public:
  CBuf();
  ~CBuf();
  CBuf(const CBuf&) = delete;
  CBuf& operator=(const CBuf&) = delete;

  int Alloc(unsigned int capacity);
  int Append(const void* source, unsigned int count);
  void Reset();
  unsigned char* GetData() const;
  unsigned int GetCapacity() const;
  unsigned int GetDataLen() const;
  int SetDataLen(unsigned int length);
  void Free();

private:
  unsigned char* m_storage;
  unsigned int m_capacity;
  unsigned int m_length;
};

#pragma pack(push, 1)

// The registration request: 355 bytes in memory, 359 on the wire.
class SEATENROL_API CPSCRegisterCommand {
public:
  CPSCRegisterCommand();
  ~CPSCRegisterCommand();
  CPSCRegisterCommand(const CPSCRegisterCommand& other) = default;
  CPSCRegisterCommand& operator=(const CPSCRegisterCommand& other);

  unsigned char GetUserType();
  void SetUserType(unsigned char userType);
  unsigned char* GetUserLevel();
  int SetUserLevel(unsigned char* source, int count);
  unsigned char* GetCountryID();
  int SetCountryID(unsigned char* source, int count);
  unsigned char* GetProvinceID();
  int SetProvinceID(unsigned char* source, int count);
  unsigned char* GetCityID();
  int SetCityID(unsigned char* source, int count);
  unsigned char* GetAreaID();
  int SetAreaID(unsigned char* source, int count);
  unsigned char* GetCompanyID();
  int SetCompanyID(unsigned char* source, int count);
  int GetLocalIP();
  int SetLocalIP(const char* text);
  unsigned char* GetLocalMAC();
  int SetLocalMAC(const unsigned char* source, int count);
  unsigned char* GetHostName();
  int SetHostName(unsigned char* source, int count);
  unsigned char* GetMachineCharacteristic();
  int SetMachineCharacteristic(unsigned char* source, int count);
  unsigned char* GetSerialID();
  int SetSerialID(unsigned char* source, int count);
  unsigned char* GetSerialPassword();
  int SetSerialPassword(unsigned char* source, int count);
  int GetCommandID();
  unsigned char* GetUserID();
  int SetUserID(unsigned char* source, int count);
  unsigned char* GetPeerUserID();
  int SetPeerUserID(unsigned char* source, int count);
  unsigned char* GetCommandReserve();
  int SetCommandReserve(unsigned char* source, int count);
  unsigned char GetCommandVer();
  void SetCommandVer(unsigned char version);

  // Appends the 359-byte request behind buf's fill length; 0 at the first
  // refused append.
  int GetByteBuf(CBuf& buf);

private:
  unsigned char m_userType;
  unsigned char m_userLevel[2];
  unsigned char m_countryID[32];
  unsigned char m_provinceID[32];
  unsigned char m_cityID[32];
  unsigned char m_areaID[32];
  unsigned char m_companyID[32];
  int m_localIP;
  unsigned char m_localMAC[6];
  unsigned char m_hostName[20];
  unsigned char m_machineCharacteristic[32];
  unsigned char m_serialID[32];
  unsigned char m_serialPassword[20];
  int m_commandID;
  unsigned char m_userID[32];
  unsigned char m_peerUserID[32];
  unsigned char m_commandReserve[9];
  unsigned char m_commandVer;
};

// The result record of a registration response.
class SEATENROL_API RegError {
public:
  RegError();
  ~RegError();
  RegError(const RegError& other) = default;
  RegError& operator=(const RegError& other);

  void SetResponseCommandID(int id);
  int GetResponseCommandID();
  void SetErrorNo(int errorNo);
  int GetErrorNo();
  void SetInfoFlag(int flag);
  int GetInfoFlag();
  int SetCompanyID(unsigned char* source, int count);
  unsigned char* GetCompanyID();
  int SetLocalIP(int address);
  int GetLocalIP();
  int SetHostName(unsigned char* source, int count);
  unsigned char* GetHostName();
  void SetErrorInfo(unsigned char* source, int count);
  unsigned char* GetErrorInfo();
  int GetErrorInfoLen();
  int SetP2PError(RegError* source);

private:
  int m_responseCommandID;
  int m_errorNo;
  unsigned char m_infoFlag;
  unsigned char m_companyID[20];
  int m_localIP;
  unsigned char m_hostName[20];
  int m_errorInfoLen;
  unsigned char m_errorInfo[512];
};

// The registration response: its result part and its packet header.
class SEATENROL_API CResponseCommandReg {
public:
  CResponseCommandReg();
  ~CResponseCommandReg();
  CResponseCommandReg(const CResponseCommandReg& other) = default;
  CResponseCommandReg& operator=(const CResponseCommandReg& other);

  // Parses a received response; 0 (record unchanged) for a null buffer or
  // one whose fill length is shorter than the layout it declares.
  int Create(CBuf* buf);
  int GetByteBuf(CBuf& buf);

  int GetCommandID();
  int SetUserID(unsigned char* source, int count);
  unsigned char* GetUserID();
  int SetPeerUserID(unsigned char* source, int count);
  unsigned char* GetPeerUserID();
  int SetCommandReserve(unsigned char* source, int count);
  unsigned char* GetCommandReserve();
  void SetCommandVer(unsigned char version);
  unsigned char GetCommandVer();
  int SetP2PError(RegError* source);
  RegError* GetP2PError();

private:
  RegError m_result;
  int m_commandID;
  unsigned char m_userID[32];
  unsigned char m_peerUserID[32];
  unsigned char m_commandReserve[9];
  unsigned char m_commandVer;
};

#pragma pack(pop)

// Visual C++ callers lay the objects out from these headers too: every
// exported class has the same size under both compilers.
static_assert(sizeof(CBuf) == (sizeof(void*) == 4 ? 12 : 16),
              "buffer holds a pointer and two counts");
static_assert(sizeof(CPSCRegisterCommand) == 355, "request record is byte-packed");
static_assert(sizeof(RegError) == 569, "result record is byte-packed");
static_assert(sizeof(CResponseCommandReg) == 647, "response record is byte-packed");

#endif
