// Stand-in for the SDK's <winsock2.h>: starting and stopping Winsock.
#ifndef SEATENROL_STAND_IN_WINSOCK2_H
#define SEATENROL_STAND_IN_WINSOCK2_H

extern "C" {
// Winsock fills it in; the host reads none of it. Larger than either
// architecture's layout.
struct WSADATA {
  alignas(8) unsigned char opaque[512];
};
int __stdcall WSAStartup(unsigned short version, WSADATA* data);
int __stdcall WSACleanup();
}

constexpr unsigned short MAKEWORD(unsigned char low, unsigned char high) {
  return static_cast<unsigned short>(low | high << 8);
}

#endif
