// The configuration library's stored server list.
#ifndef SEATENROL_PLATFORM_CONFIG_STORE_H
#define SEATENROL_PLATFORM_CONFIG_STORE_H

#include <cstddef>

namespace seatenrol {

constexpr int kMaxRegisterEntries = 20;

#pragma pack(push, 1)
// One stored server: 294 bytes, integers little-endian.
struct ST_REGISTERINFO {
  char serverName[256];
  int port;
  unsigned char enrolled;
  unsigned char credential[32];
  unsigned char unused;
};

// The whole list as it passes to and from the store: 5884 bytes.
struct ST_REGISTERINFO_LIST {
  int count;
  ST_REGISTERINFO entries[kMaxRegisterEntries];
};
#pragma pack(pop)

static_assert(sizeof(ST_REGISTERINFO) == 294, "server entry is byte-packed");
static_assert(offsetof(ST_REGISTERINFO, port) == 256, "port offset");
static_assert(offsetof(ST_REGISTERINFO, enrolled) == 260, "enrolled flag offset");
static_assert(offsetof(ST_REGISTERINFO, credential) == 261, "credential offset");
static_assert(sizeof(ST_REGISTERINFO_LIST) == 5884, "stored list is byte-packed");

// Keeps the list in "regaddrs.dat" in the host executable's directory, or in
// the directory named by SEATENROL_CONFIG_DIR.
class CTavConfig {
public:
  CTavConfig();
  ~CTavConfig();

  // 1 when list now holds the stored list (count 0..20); 0 otherwise.
  int ReadRegAddrs(ST_REGISTERINFO_LIST& list);
  // 1 when the list is stored durably; 0 otherwise.
  int WriteRegAddrs(ST_REGISTERINFO_LIST list);
};

}  // namespace seatenrol

#endif
