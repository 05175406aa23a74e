// The socket half beneath the endpoint, on both systems: a receive that
// finds nothing waiting says so at once, so a datagram that select or poll
// reported and that is gone by the receive cannot hold the caller past its
// wait.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

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
    // A thread and a condition rather than std::async: the Windows legs'
    // clang does not link libstdc++'s call_once, which std::async uses.
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    SocketResult result{SocketStatus::kFailed, 0};
    std::thread receive([&] {
      char buffer[16];
      const SocketResult received = seatenrol::ReceiveDatagram(handle, buffer, sizeof buffer);
      std::lock_guard<std::mutex> guard(lock);
      result = received;
      done = true;
      finished.notify_one();
    });
    bool returned;
    {
      std::unique_lock<std::mutex> wait(lock);
      returned = finished.wait_for(wait, std::chrono::seconds(5), [&] { return done; });
    }
    if (!returned) {
      // A blocking socket: closing it ends the receive so the test can end.
      seatenrol::CloseSocket(handle);
      receive.join();
      FAIL() << "the receive blocked with nothing waiting";
    }
    receive.join();
    EXPECT_EQ(result.status, SocketStatus::kWouldBlock) << "attempt " << attempt;
  }
  seatenrol::CloseSocket(handle);
}

}  // namespace
