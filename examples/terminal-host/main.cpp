// terminal-host: enrols this seat with a management server, as a venue's
// terminal program does at start-up.
//
//   terminal-host VENUE_ID SECRET SERVER PORT
//
// SECRET is the venue's 32-byte secret as 64 hexadecimal digits. Exit status:
// 0 enrolled, 2 not enrolled, 64 bad command line, 1 no socket layer.
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "seatenrol/seatenrol.h"
#include "secret_text.h"

namespace {

constexpr int kExitEnrolled = 0;
constexpr int kExitNoSocketLayer = 1;
constexpr int kExitNotEnrolled = 2;
constexpr int kExitUsage = 64;

constexpr std::size_t kVenueIDWidth = 20;

bool ParsePort(const char* text, int& port) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > 65535) return false;
  port = static_cast<int>(value);
  return true;
}

void ShowDebugMessage(const char* text, void*) { std::fprintf(stderr, "%s\n", text); }

int Usage(const char* message) {
  std::fprintf(stderr,
               "terminal-host: %s\n"
               "usage: terminal-host VENUE_ID SECRET SERVER PORT\n"
               "  SECRET  the venue's secret as 64 hexadecimal digits\n",
               message);
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return Usage("four arguments are needed");
  // The library reads the venue ID at its full width.
  unsigned char venueID[kVenueIDWidth + 1] = {};
  if (std::strlen(argv[1]) == 0 || std::strlen(argv[1]) > kVenueIDWidth) {
    return Usage("the venue ID has 1 to 20 characters");
  }
  std::memcpy(venueID, argv[1], std::strlen(argv[1]));
  unsigned char secret[EXAMPLE_SECRET_SIZE] = {};
  if (!ExampleParseSecret(argv[2], secret)) return Usage("the secret is 64 hexadecimal digits");
  int port = 0;
  if (!ParsePort(argv[4], port)) return Usage("the port is 1 to 65535");

  // The host starts the socket layer; the library never does.
  WSADATA winsock;
  if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) {
    std::fprintf(stderr, "terminal-host: WSAStartup failed\n");
    return kExitNoSocketLayer;
  }
  SeatenrolSetDebugSink(ShowDebugMessage, nullptr);

  bool enrolled = false;
  {
    CRegisterSession session;
    enrolled =
        session.RegisterServer(venueID, secret, reinterpret_cast<unsigned char*>(argv[3]), port);
  }

  SeatenrolSetDebugSink(nullptr, nullptr);
  WSACleanup();
  std::printf("terminal-host: %s\n", enrolled ? "enrolled" : "not enrolled");
  return enrolled ? kExitEnrolled : kExitNotEnrolled;
}
