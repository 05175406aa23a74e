// The enrolment session: the one object a terminal program uses to enrol its
// seat with a management server.
#ifndef SEATENROL_SESSION_H
#define SEATENROL_SESSION_H

#include "seatenrol/export.h"
#include "seatenrol/transport.h"
#include "seatenrol/wire.h"

class SEATENROL_API CRegisterSession : public CP2PCommunication {
public:
  CRegisterSession();
  ~CRegisterSession();
  // Copies the identity fields only: each session keeps its own packet
  // buffer and its own endpoint.
  CRegisterSession& operator=(const CRegisterSession& other);

  int Init();
  void Close();
  int SendCommand(CPSCRegisterCommand* request);
  int RawRecvFrom(CBuf& buf, int waitMs);
  int RawRecvFrom(CBuf& buf);

  // One registration exchange; 1 when a reply was received and copied into
  // result.
  int Register(RegError& result, unsigned char* venueID, unsigned char* secret,
               unsigned char* serverName, int port);
  // Enrols the seat; true when the server accepted and the stored server
  // list was updated.
  bool RegisterServer(unsigned char* venueID, unsigned char* secret, unsigned char* serverName,
                      int port);

private:
  int CreatPSCRegisterCommand(CPSCRegisterCommand& request, unsigned char* venueID,
                              unsigned char* secret, unsigned char* serverName, int port);

  CBuf* m_packetBuffer;
  unsigned char m_userID[32];
  unsigned char m_userType;
  unsigned char m_venueID[20];
  unsigned char m_secret[32];
  unsigned char m_serialPassword[20];
  unsigned char m_peerUserID[32];
};

static_assert(sizeof(CRegisterSession) == (sizeof(void*) == 4 ? 152 : 168),
              "session is its endpoint, a buffer pointer and 137 identity bytes");

#endif
