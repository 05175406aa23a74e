// Windows programs must start the socket layer before their first socket
// call; the library leaves that to its host, so every test program on Windows
// starts it here, before any test runs, and stops it after the last.
#include <winsock2.h>

#include <cstdlib>

#include <gtest/gtest.h>

namespace {

class WinsockEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
      std::abort();
    }
  }
  void TearDown() override { WSACleanup(); }
};

::testing::Environment* const winsock = ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);

}  // namespace
