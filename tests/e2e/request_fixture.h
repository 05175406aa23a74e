// A registration request encoded by the library itself, for tests that play
// the seat against the reference server.
#ifndef SEATENROL_TESTS_E2E_REQUEST_FIXTURE_H
#define SEATENROL_TESTS_E2E_REQUEST_FIXTURE_H

#include <cstring>
#include <string>

#include "crypto/crypto.h"
#include "enrol-server/venue_table.h"
#include "seatenrol/wire.h"

namespace seatenrol_test {

// A request as the library encodes it, for the venue, secret and host name
// (at most 20 bytes) given.
inline std::string EncodedRequest(const std::string& venue, const seatenrol::VenueSecret& secret,
                                  const std::string& hostName = "seat-07") {
  CPSCRegisterCommand command;
  unsigned char text[32] = {};
  std::memcpy(text, venue.data(), venue.size());
  command.SetCompanyID(text, 20);
  command.SetUserType(2);
  unsigned char level[] = "10";
  command.SetUserLevel(level, 2);
  unsigned char province[] = "PR", city[] = "CI", area[] = "AR";
  command.SetProvinceID(province, 2);
  command.SetCityID(city, 2);
  command.SetAreaID(area, 2);
  command.SetLocalIP("192.168.1.10");
  const unsigned char mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  command.SetLocalMAC(mac, 6);
  unsigned char host[20] = {};
  std::memcpy(host, hostName.data(), hostName.size());
  command.SetHostName(host, static_cast<int>(hostName.size()));
  unsigned char characteristic[32] = "001A2B3C4D5E";
  command.SetMachineCharacteristic(characteristic, 32);
  unsigned char sealed[32] = {};
  seatenrol::SealSerial(secret.data(), 32, sealed, 32);
  command.SetSerialID(sealed, 32);
  unsigned char password[20];
  for (int i = 0; i < 20; ++i) password[i] = static_cast<unsigned char>(0xA0 + i);
  command.SetSerialPassword(password, 20);
  unsigned char user[32], peer[32], reserve[9];
  for (int i = 0; i < 32; ++i) user[i] = static_cast<unsigned char>(i + 1);
  for (int i = 0; i < 32; ++i) peer[i] = static_cast<unsigned char>(0x80 + i);
  for (int i = 0; i < 9; ++i) reserve[i] = static_cast<unsigned char>(0x40 + i);
  command.SetUserID(user, 32);
  command.SetPeerUserID(peer, 32);
  command.SetCommandReserve(reserve, 9);
  command.SetCommandVer(5);
  CBuf buf;
  buf.Alloc(1024);
  command.GetByteBuf(buf);
  return std::string(reinterpret_cast<const char*>(buf.GetData()), buf.GetDataLen());
}

}  // namespace seatenrol_test

#endif
