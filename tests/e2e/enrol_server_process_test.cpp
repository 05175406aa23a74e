// enrol-server as a technician runs it: behind a pipe whose reader goes away
// or stops reading, with answers held back, with a venue file or a port it
// cannot use, and against datagrams that are not requests.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "log/log.h"
#include "net_test_util.h"
#include "request_fixture.h"
#include "seatenrol/session.h"

namespace seatenrol_test {
namespace {

const char kVenue[] = "440106123456";
constexpr std::size_t kAcceptedReplySize = 191;

class ServerAsProcess : public ::testing::Test {
protected:
  // Sends a good request from seat and waits for its answer.
  bool Answered(LoopbackSocket& seat, int port, int waitMs = 3000) {
    std::string reply;
    int from = 0;
    return seat.SendTo(port, EncodedRequest(kVenue, m_secret)) &&
           seat.Receive(waitMs, &reply, &from) && reply.size() == kAcceptedReplySize;
  }

  ScopedStoreDirectory m_store;
  const seatenrol::VenueSecret m_secret = MakeSecret(5);
};

TEST_F(ServerAsProcess, KeepsServingAfterItsReaderHasGone) {
  // As under "enrol-server ... | head -1": the listening line is read, then
  // the reader exits.
  ServerProcess server(m_store, VenueLine(kVenue, m_secret));
  ASSERT_TRUE(server.Ready());
  server.CloseOutput();
  LoopbackSocket seat;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Answered(seat, server.Port())) << "request " << i;
  EXPECT_EQ(server.Stop(), 0);
}

TEST_F(ServerAsProcess, KeepsServingWhileItsReaderDoesNotRead) {
  // Far more lines than a pipe holds; none is read until every answer came.
  constexpr int kRequests = 200;
  ServerProcess server(m_store, VenueLine(kVenue, m_secret));
  ASSERT_TRUE(server.Ready());
  LoopbackSocket seat;
  for (int i = 0; i < kRequests; ++i) ASSERT_TRUE(Answered(seat, server.Port())) << "request " << i;
  // The lines were kept, not lost.
  int reported = 0;
  std::string line;
  while (reported < kRequests && server.NextRequest(3000, line)) ++reported;
  EXPECT_EQ(reported, kRequests);
}

TEST_F(ServerAsProcess, AHeldBackAnswerDoesNotHoldUpTheNextSeat) {
  unsigned char mac[6];
  if (!SeatMac(mac)) GTEST_SKIP() << "this host shows no IPv4 address or adapter to enrol";
  seatenrol::SetLogDirectory(m_store.Path().c_str());
  // Each answer leaves 3 s late; answered one after the other, the second
  // seat's would come after its 5 s wait.
  ServerProcess server(m_store, VenueLine(kVenue, m_secret), {"--delay", "3000"});
  ASSERT_TRUE(server.Ready());
  std::atomic<int> enrolled{0};
  std::vector<std::thread> seats;
  for (int i = 0; i < 2; ++i) {
    seats.emplace_back([&] {
      CRegisterSession session;
      unsigned char venueID[20] = {};
      std::memcpy(venueID, kVenue, sizeof kVenue - 1);
      seatenrol::VenueSecret secret = m_secret;
      unsigned char address[] = "127.0.0.1";
      if (session.RegisterServer(venueID, secret.data(), address, server.Port())) ++enrolled;
    });
  }
  for (std::thread& seat : seats) seat.join();
  seatenrol::SetLogDirectory(nullptr);
  EXPECT_EQ(enrolled.load(), 2);
}

TEST_F(ServerAsProcess, AVenueFileOrPortItCannotUseStopsItWithTheReason) {
  LoopbackSocket taken;
  ASSERT_TRUE(taken.IsReady());
  const std::string good = m_store.WriteFile("good.txt", VenueLine(kVenue, m_secret));
  const std::string takenPort = std::to_string(taken.Port());
  const struct {
    std::string venues;
    std::string port;
    std::string message;
  } cases[] = {
      {m_store.Path(), "0", "is a directory"},
      {m_store.WriteFile("empty.txt", ""), "0", "holds no venue"},
      {m_store.WriteFile("comments.txt", "# none yet\n"), "0", "holds no venue"},
      {m_store.Path() + "/missing.txt", "0", "cannot open"},
      {good, takenPort, "cannot bind 127.0.0.1:" + takenPort + ": "},
  };
  for (const auto& row : cases) {
    ChildProcess server({ENROL_SERVER_PATH, "--venues", row.venues, "--port", row.port});
    std::string first, rest;
    server.ReadLine(3000, first);
    if (first.find("listening") != std::string::npos) {
      ADD_FAILURE() << "serving despite: " << row.message;
      continue;  // stopped as it goes
    }
    EXPECT_EQ(server.Finish(rest), 1) << row.message;
    EXPECT_NE((first + rest).find(row.message), std::string::npos) << first << rest;
  }
}

TEST_F(ServerAsProcess, ADatagramOtherThanARequestIsReportedWhole) {
  ServerProcess server(m_store, VenueLine(kVenue, m_secret));
  ASSERT_TRUE(server.Ready());
  LoopbackSocket seat;
  const std::string request = EncodedRequest(kVenue, m_secret);
  const std::string notRequests[] = {std::string(65507, 'x'), request + "x", request.substr(1)};
  for (const std::string& datagram : notRequests) {
    ASSERT_TRUE(seat.SendTo(server.Port(), datagram));
    std::string line;
    ASSERT_TRUE(server.NextLine(3000, line));
    EXPECT_EQ(JsonValue(line, "event"), "\"ignored\"") << line;
    EXPECT_EQ(JsonValue(line, "length"), std::to_string(datagram.size())) << line;
  }
  // The server answers in order: had any of those been answered, its
  // answer would come before this one.
  ASSERT_TRUE(seat.SendTo(server.Port(), request));
  std::string reply;
  int from = 0;
  ASSERT_TRUE(seat.Receive(3000, &reply, &from));
  EXPECT_EQ(reply.size(), kAcceptedReplySize);
  EXPECT_FALSE(seat.Receive(200, &reply, &from));
}

}  // namespace
}  // namespace seatenrol_test
