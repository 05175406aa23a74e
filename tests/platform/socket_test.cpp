// The socket half beneath the endpoint, on both systems: a receive that
// finds nothing waiting says so at once, so a datagram that select or poll
// reported and that is gone by the receive cannot hold the caller past its
// wait.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "net_test_util.h"
#include "platform/socket.h"

namespace {

using seatenrol::SocketResult;
using seatenrol::SocketStatus;

TEST(SocketTest, AReceiveWithNothingWaitingWouldBlock) {
  seatenrol_test::LoopbackSocket peer;
  ASSERT_TRUE(peer.IsReady());
  seatenrol::SocketHandle handle = 0;
  ASSERT_TRUE(seatenrol::OpenUdpSocket(&handle));
  ASSERT_TRUE(
      seatenrol::ConnectSocket(handle, 0x7F000001, static_cast<std::uint16_t>(peer.Port())));
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto receive = std::async(std::launch::async, [handle] {
      char buffer[16];
      return seatenrol::ReceiveDatagram(handle, buffer, sizeof buffer);
    });
    if (receive.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      // A blocking socket: closing it ends the receive so the test can end.
      seatenrol::CloseSocket(handle);
      receive.wait();
      FAIL() << "the receive blocked with nothing waiting";
    }
    const SocketResult result = receive.get();
    EXPECT_EQ(result.status, SocketStatus::kWouldBlock) << "attempt " << attempt;
  }
  seatenrol::CloseSocket(handle);
}

}  // namespace
