#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "net_test_util.h"
#include "seatenrol/session.h"

namespace {

using seatenrol_test::LoopbackSocket;

constexpr int kRequestSize = 359;
constexpr int kShortWaitMs = 200;
constexpr int kLongWaitMs = 5000;

std::string Encoded(CPSCRegisterCommand& request) {
  CBuf buf;
  buf.Alloc(1024);
  request.GetByteBuf(buf);
  return std::string(reinterpret_cast<const char*>(buf.GetData()), buf.GetDataLen());
}

// A request with a few fields set, so its bytes are not all defaults.
class SampleRequest : public CPSCRegisterCommand {
public:
  SampleRequest() {
    unsigned char country[] = {'8', '6'};
    SetCountryID(country, 2);
    SetUserType(2);
  }
};

class SessionTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(peer.IsReady());
    ASSERT_EQ(session.Init(), 1);
    ASSERT_NE(session.Open(2), 0);
    ASSERT_NE(session.SetPeerAddr(peer.Address()), 0);
  }

  // The next datagram at the peer, or "" when none comes within waitMs.
  std::string AtPeer(int waitMs) {
    std::string received;
    return peer.Receive(waitMs, &received, &sessionPort) ? received : std::string();
  }

  LoopbackSocket peer;
  CRegisterSession session;
  int sessionPort = 0;
};

TEST_F(SessionTest, SendCommandSendsTheEncodedRequestEachTime) {
  SampleRequest request;
  const std::string expected = Encoded(request);
  ASSERT_EQ(expected.size(), static_cast<std::size_t>(kRequestSize));
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(session.SendCommand(&request), 1);
    EXPECT_EQ(AtPeer(kLongWaitMs), expected) << round;
  }
}

TEST_F(SessionTest, SendCommandRefusalsSendNothing) {
  EXPECT_EQ(session.SendCommand(nullptr), 0);

  CRegisterSession uninitialised;  // a buffer without storage refuses the encoding
  ASSERT_NE(uninitialised.Open(2), 0);
  ASSERT_NE(uninitialised.SetPeerAddr(peer.Address()), 0);
  SampleRequest request;
  EXPECT_EQ(uninitialised.SendCommand(&request), 0);

  session.Close();
  EXPECT_EQ(session.SendCommand(&request), 0);

  EXPECT_EQ(AtPeer(kShortWaitMs), "");
}

TEST_F(SessionTest, InitRunsAgainOnTheSameSession) {
  EXPECT_EQ(session.Init(), 1);
  EXPECT_EQ(session.Init(), 1);
  SampleRequest request;
  ASSERT_EQ(session.SendCommand(&request), 1);
  EXPECT_EQ(AtPeer(kLongWaitMs), Encoded(request));
}

// The fill length follows only a received byte count.
TEST_F(SessionTest, RawRecvFromSetsTheFillLengthOnlyForData) {
  SampleRequest request;
  ASSERT_EQ(session.SendCommand(&request), 1);
  ASSERT_EQ(AtPeer(kLongWaitMs).size(), static_cast<std::size_t>(kRequestSize));

  CBuf buf;
  ASSERT_EQ(buf.Alloc(1024), 1);
  ASSERT_EQ(buf.SetDataLen(7), 1);

  // Nothing arrives: a timeout, fill length kept.
  EXPECT_EQ(session.RawRecvFrom(buf, kShortWaitMs), CONST_COMMUNICATION_TIMEOUT);
  EXPECT_EQ(buf.GetDataLen(), 7u);

  // Larger than the buffer: a packet error, fill length kept.
  ASSERT_TRUE(peer.SendTo(sessionPort, std::string(1025, 'a')));
  EXPECT_EQ(session.RawRecvFrom(buf, kLongWaitMs), CONST_COMMUNICATION_PACKET_ERROR);
  EXPECT_EQ(buf.GetDataLen(), 7u);

  // Exactly the capacity is data.
  ASSERT_TRUE(peer.SendTo(sessionPort, std::string(1024, 'b')));
  EXPECT_EQ(session.RawRecvFrom(buf, kLongWaitMs), 1024);
  EXPECT_EQ(buf.GetDataLen(), 1024u);

  ASSERT_TRUE(peer.SendTo(sessionPort, "reply"));
  EXPECT_EQ(session.RawRecvFrom(buf), 5);
  EXPECT_EQ(buf.GetDataLen(), 5u);
  EXPECT_EQ(std::memcmp(buf.GetData(), "reply", 5), 0);

  // A buffer without storage is an error before any wait.
  CBuf empty;
  EXPECT_EQ(session.RawRecvFrom(empty, kLongWaitMs), CONST_COMMUNICATION_ERROR);
  EXPECT_EQ(session.RawRecvFrom(empty), CONST_COMMUNICATION_ERROR);
}

TEST(SessionClosedPortTest, RefusedPortIsAnErrorAndKeepsTheFillLength) {
  if (seatenrol_test::PortRefusalGoesUnreported()) GTEST_SKIP() << "refusals are not reported here";
  const int port = seatenrol_test::UnusedLoopbackPort();
  ASSERT_NE(port, 0);
  CRegisterSession session;
  ASSERT_EQ(session.Init(), 1);
  ASSERT_NE(session.Open(2), 0);
  ASSERT_NE(session.SetPeerAddr(seatenrol_test::LoopbackAddress(port)), 0);
  SampleRequest request;
  ASSERT_EQ(session.SendCommand(&request), 1);

  CBuf buf;
  ASSERT_EQ(buf.Alloc(1024), 1);
  ASSERT_EQ(buf.SetDataLen(3), 1);
  EXPECT_EQ(session.RawRecvFrom(buf, kLongWaitMs), CONST_COMMUNICATION_ERROR);
  EXPECT_EQ(buf.GetDataLen(), 3u);
}

// Assignment copies identities only; buffer and endpoint stay each one's own,
// so destroying the source leaves the target whole.
TEST_F(SessionTest, AssignmentKeepsBufferAndEndpointSeparate) {
  SampleRequest request;
  {
    CRegisterSession other;
    ASSERT_EQ(other.Init(), 1);
    session = other;
    EXPECT_FALSE(other.IsOpen());
    EXPECT_TRUE(session.IsOpen());
    ASSERT_NE(other.Open(2), 0);
    ASSERT_NE(other.SetPeerAddr(peer.Address()), 0);
    ASSERT_EQ(other.SendCommand(&request), 1);
    EXPECT_EQ(AtPeer(kLongWaitMs), Encoded(request));
  }
  CRegisterSession& same = session;
  session = same;
  ASSERT_EQ(session.SendCommand(&request), 1);
  EXPECT_EQ(AtPeer(kLongWaitMs), Encoded(request));

  // A never-initialised source gives the target no share of its empty buffer.
  CRegisterSession bare;
  session = bare;
  ASSERT_EQ(session.SendCommand(&request), 1);
  EXPECT_EQ(AtPeer(kLongWaitMs), Encoded(request));
}

}  // namespace
