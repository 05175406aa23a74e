// Handles the library opens are not inherited by programs the host starts:
// a child holding the log would keep it from being deleted at its size cap.
#include <winsock2.h>

#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/os.h"
#include "platform/socket.h"

namespace {

bool Inheritable(HANDLE handle) {
  DWORD flags = 0;
  EXPECT_TRUE(GetHandleInformation(handle, &flags));
  return (flags & HANDLE_FLAG_INHERIT) != 0;
}

HANDLE HandleOf(SOCKET socket) { return reinterpret_cast<HANDLE>(socket); }

TEST(Inheritance, TheEndpointIsNotInheritable) {
  seatenrol::SocketHandle endpoint = 0;
  ASSERT_TRUE(seatenrol::OpenUdpSocket(&endpoint));
  EXPECT_FALSE(Inheritable(HandleOf(static_cast<SOCKET>(endpoint))));
  seatenrol::CloseSocket(endpoint);

  // A plain socket() is, so the check sees the flag.
  const SOCKET plain = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  ASSERT_NE(plain, INVALID_SOCKET);
  EXPECT_TRUE(Inheritable(HandleOf(plain)));
  closesocket(plain);
}

TEST(Inheritance, TheLogFileIsNotInheritable) {
  char directory[MAX_PATH + 1] = {};
  ASSERT_NE(GetTempPathA(sizeof directory, directory), 0u);
  const std::string path = std::string(directory) + "seatenrol-inheritance.log";
  std::FILE* log = seatenrol::OpenFileToAppend(path.c_str());
  ASSERT_NE(log, nullptr);
  EXPECT_FALSE(Inheritable(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(log)))));
  std::fclose(log);
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

}  // namespace
