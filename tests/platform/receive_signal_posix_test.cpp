#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "net_test_util.h"
#include "seatenrol/transport.h"

namespace {

std::atomic<int> signalsSeen{0};

void CountSignal(int) { signalsSeen.fetch_add(1); }

// Installs a handler without SA_RESTART, so a signal breaks into a waiting
// poll with EINTR, and restores the old one afterwards.
class InterruptingSignal {
public:
  InterruptingSignal() {
    struct sigaction action = {};
    action.sa_handler = CountSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGUSR1, &action, &m_previous);
  }
  ~InterruptingSignal() { sigaction(SIGUSR1, &m_previous, nullptr); }

private:
  struct sigaction m_previous;
};

// A wait broken into by signals goes on waiting for the reply.
TEST(ReceiveSignalTest, WaitSurvivesSignals) {
  InterruptingSignal installed;
  seatenrol_test::LoopbackSocket peer;
  ASSERT_TRUE(peer.IsReady());
  CP2PCommunication endpoint;
  ASSERT_NE(endpoint.Open(2), 0);
  ASSERT_NE(endpoint.SetPeerAddr(peer.Address()), 0);
  ASSERT_EQ(endpoint.SendTo("hi", 2), 2);
  std::string greeting;
  int port = 0;
  ASSERT_TRUE(peer.Receive(5000, &greeting, &port));

  for (bool unlimited : {false, true}) {
    signalsSeen = 0;
    const pthread_t waiter = pthread_self();
    std::thread disturber([&] {
      for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pthread_kill(waiter, SIGUSR1);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      peer.SendTo(port, "late");
    });
    char buffer[16];
    const int result = unlimited ? endpoint.RecvFrom(buffer, sizeof buffer)
                                 : endpoint.RecvFrom(buffer, sizeof buffer, 5000);
    disturber.join();
    EXPECT_EQ(signalsSeen.load(), 3);
    ASSERT_EQ(result, 4) << (unlimited ? "without limit" : "with limit");
    EXPECT_EQ(std::string(buffer, 4), "late");
  }
}

}  // namespace
