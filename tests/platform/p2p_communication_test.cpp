#include <gtest/gtest.h>

#include <string>

#include "net_test_util.h"
#include "seatenrol/transport.h"

namespace {

using seatenrol_test::LoopbackSocket;

constexpr int kShortWaitMs = 200;
// Long enough that a result other than the timeout proves the wait was cut short.
constexpr int kLongWaitMs = 5000;

TEST(P2PCommunicationTest, OpenAcceptsOnlyTheDatagramType) {
  CP2PCommunication endpoint;
  for (int type : {0, 1, 3, -2}) EXPECT_EQ(endpoint.Open(type), 0) << type;
  EXPECT_FALSE(endpoint.IsOpen());
  EXPECT_NE(endpoint.Open(2), 0);
  EXPECT_TRUE(endpoint.IsOpen());
  EXPECT_NE(endpoint.Open(2), 0);  // reopening replaces the endpoint
  endpoint.Close();
  endpoint.Close();
  EXPECT_FALSE(endpoint.IsOpen());
}

TEST(P2PCommunicationTest, ClosedEndpointRefusesEverything) {
  LoopbackSocket peer;
  ASSERT_TRUE(peer.IsReady());
  CP2PCommunication endpoint;
  char buffer[16] = {};
  EXPECT_EQ(endpoint.SetPeerAddr(peer.Address()), 0);
  EXPECT_EQ(endpoint.SendTo("x", 1), CONST_COMMUNICATION_ERROR);
  EXPECT_EQ(endpoint.RecvFrom(buffer, sizeof buffer, 0), CONST_COMMUNICATION_ERROR);
  EXPECT_EQ(endpoint.RecvFrom(buffer, sizeof buffer), CONST_COMMUNICATION_ERROR);
}

class ConnectedEndpointTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(peer.IsReady());
    ASSERT_NE(endpoint.Open(2), 0);
    ASSERT_NE(endpoint.SetPeerAddr(peer.Address()), 0);
  }

  // Sends a greeting so the peer learns the endpoint's port, and returns it.
  int EndpointPort() {
    EXPECT_EQ(endpoint.SendTo("hello", 5), 5);
    std::string received;
    int port = 0;
    EXPECT_TRUE(peer.Receive(kLongWaitMs, &received, &port));
    EXPECT_EQ(received, "hello");
    return port;
  }

  LoopbackSocket peer;
  CP2PCommunication endpoint;
  char buffer[64] = {};
};

TEST_F(ConnectedEndpointTest, BadArgumentsAreErrors) {
  EXPECT_EQ(endpoint.SendTo(nullptr, 3), CONST_COMMUNICATION_ERROR);
  EXPECT_EQ(endpoint.SendTo("abc", -1), CONST_COMMUNICATION_ERROR);
  EXPECT_EQ(endpoint.RecvFrom(nullptr, 10, 0), CONST_COMMUNICATION_ERROR);
  EXPECT_EQ(endpoint.RecvFrom(buffer, 0, 0), CONST_COMMUNICATION_ERROR);
  EXPECT_EQ(endpoint.RecvFrom(buffer, -5, 0), CONST_COMMUNICATION_ERROR);
  EXPECT_EQ(endpoint.RecvFrom(buffer, sizeof buffer, -1), CONST_COMMUNICATION_ERROR);
  EXPECT_EQ(endpoint.RecvFrom(nullptr, 10), CONST_COMMUNICATION_ERROR);
  EXPECT_EQ(endpoint.SetPeerAddr(CSocketAddress()), 0);  // neither IP nor port set
}

TEST_F(ConnectedEndpointTest, ExchangesDatagramsWithThePeer) {
  const int port = EndpointPort();
  ASSERT_TRUE(peer.SendTo(port, std::string("re\0ply", 6)));
  ASSERT_EQ(endpoint.RecvFrom(buffer, sizeof buffer, kLongWaitMs), 6);
  EXPECT_EQ(std::string(buffer, 6), std::string("re\0ply", 6));

  ASSERT_TRUE(peer.SendTo(port, "again"));
  ASSERT_EQ(endpoint.RecvFrom(buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "again");
}

TEST_F(ConnectedEndpointTest, NothingArrivingIsATimeout) {
  EXPECT_EQ(endpoint.RecvFrom(buffer, sizeof buffer, kShortWaitMs), CONST_COMMUNICATION_TIMEOUT);
  EXPECT_EQ(endpoint.RecvFrom(buffer, sizeof buffer, 0), CONST_COMMUNICATION_TIMEOUT);
}

TEST_F(ConnectedEndpointTest, DatagramsFromOthersAreNotDelivered) {
  const int port = EndpointPort();
  LoopbackSocket stranger;
  ASSERT_TRUE(stranger.IsReady());
  ASSERT_TRUE(stranger.SendTo(port, "forged"));
  EXPECT_EQ(endpoint.RecvFrom(buffer, sizeof buffer, kShortWaitMs), CONST_COMMUNICATION_TIMEOUT);

  ASSERT_TRUE(stranger.SendTo(port, "forged"));
  ASSERT_TRUE(peer.SendTo(port, "genuine"));
  ASSERT_EQ(endpoint.RecvFrom(buffer, sizeof buffer, kLongWaitMs), 7);
  EXPECT_EQ(std::string(buffer, 7), "genuine");
}

TEST_F(ConnectedEndpointTest, OversizedDatagramIsAPacketErrorAndIsConsumed) {
  const int port = EndpointPort();
  ASSERT_TRUE(peer.SendTo(port, std::string(100, 'x')));
  ASSERT_TRUE(peer.SendTo(port, "next"));
  EXPECT_EQ(endpoint.RecvFrom(buffer, 10, kLongWaitMs), CONST_COMMUNICATION_PACKET_ERROR);
  ASSERT_EQ(endpoint.RecvFrom(buffer, 10, kLongWaitMs), 4);
  EXPECT_EQ(std::string(buffer, 4), "next");
}

TEST_F(ConnectedEndpointTest, DatagramFillingTheBufferExactlyIsDelivered) {
  const int port = EndpointPort();
  ASSERT_TRUE(peer.SendTo(port, std::string(sizeof buffer, 'y')));
  EXPECT_EQ(endpoint.RecvFrom(buffer, sizeof buffer, kLongWaitMs), static_cast<int>(sizeof buffer));
}

TEST_F(ConnectedEndpointTest, EmptyDatagramIsAPacketError) {
  const int port = EndpointPort();
  ASSERT_TRUE(peer.SendTo(port, std::string()));
  EXPECT_EQ(endpoint.RecvFrom(buffer, sizeof buffer, kLongWaitMs),
            CONST_COMMUNICATION_PACKET_ERROR);
}

TEST(P2PCommunicationTest, ClosedPortIsAnErrorNotATimeout) {
  if (seatenrol_test::PortRefusalGoesUnreported()) GTEST_SKIP() << "refusals are not reported here";
  const int port = seatenrol_test::UnusedLoopbackPort();
  ASSERT_NE(port, 0);
  CP2PCommunication endpoint;
  ASSERT_NE(endpoint.Open(2), 0);
  ASSERT_NE(endpoint.SetPeerAddr(seatenrol_test::LoopbackAddress(port)), 0);
  ASSERT_EQ(endpoint.SendTo("anyone?", 7), 7);
  char buffer[16];
  EXPECT_EQ(endpoint.RecvFrom(buffer, sizeof buffer, kLongWaitMs), CONST_COMMUNICATION_ERROR);
}

}  // namespace
