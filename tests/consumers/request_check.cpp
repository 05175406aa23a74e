// A terminal program's first use of the library, built outside its tree:
// it builds a registration request and checks the datagram it would send.
#include <seatenrol/seatenrol.h>
#include <seatenrol/version.h>

#include <cstdio>
#include <cstring>

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "consumer: %s\n", what);
  return 1;
}

unsigned int BigEndian32(const unsigned char* p) {
  return (static_cast<unsigned int>(p[0]) << 24) | (static_cast<unsigned int>(p[1]) << 16) |
         (static_cast<unsigned int>(p[2]) << 8) | p[3];
}

}  // namespace

int main() {
  CRegisterSession session;
  CPSCRegisterCommand request;
  unsigned char venueID[] = "440106123456";
  unsigned char hostName[] = "seat-17";
  request.SetUserType(2);
  request.SetCompanyID(venueID, sizeof venueID);
  request.SetHostName(hostName, sizeof hostName);
  if (!request.SetLocalIP("10.1.2.3")) return Fail("SetLocalIP refused 10.1.2.3");

  CBuf buf;
  if (!buf.Alloc(1024)) return Fail("CBuf::Alloc failed");
  if (!request.GetByteBuf(buf)) return Fail("GetByteBuf refused the request");
  if (buf.GetDataLen() != 359) return Fail("the request is not 359 bytes");

  const unsigned char* wire = buf.GetData();
  const unsigned char address[] = {10, 1, 2, 3};
  if (BigEndian32(wire) != 127) return Fail("command ID is not 127");
  if (BigEndian32(wire + 78) != 277) return Fail("body length is not 277");
  if (wire[82] != 2) return Fail("user type is not at byte 82");
  if (std::memcmp(wire + 213, venueID, sizeof venueID) != 0) return Fail("company ID misplaced");
  if (std::memcmp(wire + 245, address, 4) != 0) return Fail("local IP misplaced");
  if (std::memcmp(wire + 255, hostName, sizeof hostName) != 0) return Fail("host name misplaced");

#ifdef EXPECTED_VERSION
  // What the build system found must be what the headers say.
  if (std::strcmp(SEATENROL_VERSION_STRING, EXPECTED_VERSION) != 0)
    return Fail("seatenrol/version.h disagrees with the package version");
#endif
  char joined[32];
  std::snprintf(joined, sizeof joined, "%d.%d.%d", SEATENROL_VERSION_MAJOR, SEATENROL_VERSION_MINOR,
                SEATENROL_VERSION_PATCH);
  if (std::strcmp(joined, SEATENROL_VERSION_STRING) != 0)
    return Fail("SEATENROL_VERSION_STRING disagrees with its parts");

  std::printf("consumer: a 359-byte request from seatenrol %s\n", SEATENROL_VERSION_STRING);
  return 0;
}
