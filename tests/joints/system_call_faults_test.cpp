// The system calls behind an enrolment, each made to fail in turn through
// the library's table of them: the exchange must report the failure it met
// and never take a failed send for an answer; the resolver and the interface
// dump must fail cleanly, or retry what a signal broke.
#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "hostinfo/host_probe.h"
#include "joints_support.h"
#include "log/messages.h"
#include "loopback_responder.h"
#include "net_test_util.h"
#include "platform/resolve.h"
#include "seatenrol/seatenrol.h"

namespace {

using seatenrol::Posix;
using seatenrol_test::OpenDescriptors;
namespace messages = seatenrol::messages;

// -- The datagram exchange ---------------------------------------------------

// One datagram as a receive hands it over: an errno, or bytes.
struct Datagram {
  int error = 0;
  std::string bytes;
  bool truncated = false;
};

// What the endpoint's stand-ins do, one entry per call in turn. A call with
// no entry left goes as on a quiet network: the send succeeds, the wait finds
// a datagram, and the datagram is the accepting reply.
struct Exchange {
  std::deque<int> sends;  // per send: the errno it fails with, 0 for success
  std::deque<int> waits;  // per wait: 1 ready, 0 nothing within the wait, -errno
  std::deque<Datagram> receives;
  int sendCalls = 0;
};
Exchange exchange;

std::string AcceptingReply() {
  const std::vector<unsigned char> reply = seatenrol::bench::AcceptingReply();
  return std::string(reply.begin(), reply.end());
}

template <typename T>
T Next(std::deque<T>& queue, T otherwise) {
  if (queue.empty()) return otherwise;
  T next = queue.front();
  queue.pop_front();
  return next;
}

ssize_t SendStandIn(int, const void*, size_t length, int) {
  ++exchange.sendCalls;
  const int error = Next(exchange.sends, 0);
  if (error == 0) return static_cast<ssize_t>(length);
  errno = error;
  return -1;
}

int PollStandIn(pollfd* entries, nfds_t, int) {
  const int result = Next(exchange.waits, 1);
  if (result < 0) errno = -result;
  if (result > 0) entries[0].revents = POLLIN;
  return result < 0 ? -1 : result;
}

ssize_t RecvmsgStandIn(int, msghdr* message, int) {
  const Datagram datagram = Next(exchange.receives, Datagram{0, AcceptingReply(), false});
  if (datagram.error != 0) {
    errno = datagram.error;
    return -1;
  }
  const std::size_t size = std::min(datagram.bytes.size(), message->msg_iov[0].iov_len);
  std::memcpy(message->msg_iov[0].iov_base, datagram.bytes.data(), size);
  message->msg_flags = datagram.truncated ? MSG_TRUNC : 0;
  return static_cast<ssize_t>(size);
}

// A resolver that knows the server by two addresses, 127.0.0.1 and 127.0.0.2.
int TwoAddresses(const char*, hostent* entry, char* work, size_t size, hostent** result,
                 int* failure) {
  struct Layout {
    char* list[3];
    unsigned char addresses[2][4];
  };
  if (size < sizeof(Layout)) return ERANGE;
  auto* layout = reinterpret_cast<Layout*>(work);
  for (int i = 0; i < 2; ++i) {
    const unsigned char address[4] = {127, 0, 0, static_cast<unsigned char>(i + 1)};
    std::memcpy(layout->addresses[i], address, 4);
    layout->list[i] = reinterpret_cast<char*>(layout->addresses[i]);
  }
  layout->list[2] = nullptr;
  *entry = hostent{};
  entry->h_addrtype = AF_INET;
  entry->h_length = 4;
  entry->h_addr_list = layout->list;
  *result = entry;
  *failure = 0;
  return 0;
}

// A resolver that does not know the name.
int Unknown(const char*, hostent*, char*, size_t, hostent** result, int* failure) {
  *result = nullptr;
  *failure = HOST_NOT_FOUND;
  return 0;
}

// A resolver whose every answer needs a larger buffer than the last.
// The largest buffer the resolver was offered, and how many times.
std::size_t largestOffered = 0;
int offers = 0;
int AlwaysShort(const char*, hostent*, char*, size_t size, hostent**, int*) {
  largestOffered = size > largestOffered ? size : largestOffered;
  ++offers;
  return ERANGE;
}

// The system's resolver, once the buffer is at least 4 KiB.
int ShortUnder4K(const char* name, hostent* entry, char* work, size_t size, hostent** result,
                 int* failure) {
  if (size < 4096) return ERANGE;
  return ::gethostbyname_r(name, entry, work, size, result, failure);
}

struct ExchangeCase {
  const char* name;
  std::vector<int> sends;
  std::vector<int> waits;
  std::vector<Datagram> receives;
  decltype(&::gethostbyname_r) resolver;  // null: the system's
  int registered;                         // what Register returns
  int sendCalls;
  const char* report;  // the debugger message that tells the failure, if any
};

void PrintTo(const ExchangeCase& c, std::ostream* out) { *out << c.name; }

const std::string kReply = AcceptingReply();

const ExchangeCase kExchangeCases[] = {
    {"Answered", {}, {}, {}, nullptr, 1, 1, nullptr},
    {"SendInterruptedThenSent", {EINTR}, {}, {}, nullptr, 1, 2, nullptr},
    {"SendFailed", {ENETUNREACH}, {}, {}, nullptr, 0, 1, messages::kSendCommandError},
    {"SendRefused", {ECONNREFUSED}, {}, {}, nullptr, 0, 1, messages::kSendCommandError},
    {"SendTooLarge", {EMSGSIZE}, {}, {}, nullptr, 0, 1, messages::kSendCommandError},
    {"WaitInterruptedThenAnswered", {}, {-EINTR}, {}, nullptr, 1, 1, nullptr},
    {"WaitFailed", {}, {-ENOMEM}, {}, nullptr, 0, 1, messages::kRecvError},
    {"NoAnswerInTime", {}, {0}, {}, nullptr, 0, 1, messages::kRecvTimeout},
    {"AnswerGoneThenAnswered", {}, {}, {{EAGAIN, "", false}}, nullptr, 1, 1, nullptr},
    {"ReceiveInterruptedThenAnswered", {}, {}, {{EINTR, "", false}}, nullptr, 1, 1, nullptr},
    {"ReceiveRefused", {}, {}, {{ECONNREFUSED, "", false}}, nullptr, 0, 1, messages::kRecvError},
    {"ReceiveFailed", {}, {}, {{EIO, "", false}}, nullptr, 0, 1, messages::kRecvError},
    {"AnswerTruncated", {}, {}, {{0, kReply, true}}, nullptr, 0, 1, messages::kRecvPacketError},
    {"EmptyDatagram", {}, {}, {{0, "", false}}, nullptr, 0, 1, messages::kRecvPacketError},
    {"AnswerDoesNotParse", {}, {}, {{0, "short", false}}, nullptr, 0, 1, nullptr},
    {"NextAddressAfterAnUnreadableAnswer",
     {},
     {},
     {{0, "short", false}},
     TwoAddresses,
     1,
     2,
     nullptr},
    {"ServerNameUnknown", {}, {}, {}, Unknown, 0, 0, nullptr},
};

void Collect(const char* text, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(text);
}

class ExchangeFault : public ::testing::TestWithParam<ExchangeCase> {
protected:
  seatenrol_test::ScratchDirectory directory;
  seatenrol_test::RestoreSystemCalls restore;
};

TEST_P(ExchangeFault, RegisterReportsWhatFailed) {
  const ExchangeCase& c = GetParam();
  exchange = Exchange{{c.sends.begin(), c.sends.end()},
                      {c.waits.begin(), c.waits.end()},
                      {c.receives.begin(), c.receives.end()}};
  Posix().send = SendStandIn;
  Posix().poll = PollStandIn;
  Posix().recvmsg = RecvmsgStandIn;
  if (c.resolver != nullptr) Posix().gethostbyname_r = c.resolver;
  std::vector<std::string> reports;
  SeatenrolSetDebugSink(Collect, &reports);

  const int descriptors = OpenDescriptors();
  unsigned char venue[20] = "330106000001";
  unsigned char secret[32] = "an enrolment secret";
  unsigned char server[] = "127.0.0.1";
  RegError result;
  int registered = 0;
  {
    CRegisterSession session;
    ASSERT_EQ(session.Init(), 1);
    registered = session.Register(result, venue, secret, server, 9);
  }
  SeatenrolSetDebugSink(nullptr, nullptr);

  EXPECT_EQ(registered, c.registered);
  EXPECT_EQ(exchange.sendCalls, c.sendCalls);
  EXPECT_EQ(result.GetErrorInfoLen(), c.registered == 1 ? 52 : 0);
  if (c.report != nullptr) {
    EXPECT_EQ(reports, std::vector<std::string>({c.report}));
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

INSTANTIATE_TEST_SUITE_P(Calls, ExchangeFault, ::testing::ValuesIn(kExchangeCases),
                         [](const ::testing::TestParamInfo<ExchangeCase>& info) {
                           return std::string(info.param.name);
                         });

// What a failed send tells the endpoint's caller.
TEST(EndpointFault, SendToTellsATooLargeDatagramFromAFailure) {
  seatenrol_test::RestoreSystemCalls restore;
  Posix().send = SendStandIn;
  const struct {
    int error;
    int sent;
  } cases[] = {{EMSGSIZE, CONST_COMMUNICATION_PACKET_ERROR},
               {ECONNREFUSED, CONST_COMMUNICATION_ERROR},
               {ENOBUFS, CONST_COMMUNICATION_ERROR},
               {EINTR, 3}};
  for (const auto& c : cases) {
    exchange = Exchange{{c.error}, {}, {}};
    CP2PCommunication endpoint;
    ASSERT_NE(endpoint.Open(2), 0);
    ASSERT_NE(endpoint.SetPeerAddr(seatenrol_test::LoopbackAddress(9)), 0);
    EXPECT_EQ(endpoint.SendTo("abc", 3), c.sent) << std::strerror(c.error);
  }
}

TEST(ResolverFault, GrowsItsBufferAHandfulOfTimesAtMost) {
  seatenrol_test::RestoreSystemCalls restore;
  std::vector<std::uint32_t> addresses;
  Posix().gethostbyname_r = ShortUnder4K;
  EXPECT_TRUE(seatenrol::LookUpIPv4("127.0.0.1", addresses));
  EXPECT_EQ(addresses, std::vector<std::uint32_t>({0x7F000001u}));
  Posix().gethostbyname_r = AlwaysShort;
  largestOffered = 0;
  offers = 0;
  EXPECT_FALSE(seatenrol::LookUpIPv4("127.0.0.1", addresses));
  EXPECT_TRUE(addresses.empty());
  // Doubling from 1 KiB up to 64 KiB and no further.
  EXPECT_EQ(largestOffered, 65536u);
  EXPECT_EQ(offers, 7);
}

// -- The interface dump ------------------------------------------------------

// The request the dump sent last (RTM_GETLINK or RTM_GETADDR), and whether a
// fault has been injected into its answer yet.
int lastRequest = 0;
bool answerFaulted = false;

template <int kRequest>
ssize_t SendtoFailingFor(int socket, const void* data, size_t length, int flags, const sockaddr* to,
                         socklen_t toLength) {
  lastRequest = static_cast<const nlmsghdr*>(data)->nlmsg_type;
  answerFaulted = false;
  if (lastRequest == kRequest) {
    errno = ENOBUFS;
    return -1;
  }
  return ::sendto(socket, data, length, flags, to, toLength);
}

// The first receive of the answer to kRequest fails with kError.
template <int kRequest, int kError>
int RecvmmsgFailingFor(int socket, mmsghdr* messages, unsigned int count, int flags,
                       timespec* limit) {
  if (lastRequest == kRequest && !answerFaulted) {
    answerFaulted = true;
    errno = kError;
    return -1;
  }
  return ::recvmmsg(socket, messages, count, flags, limit);
}

nlmsghdr& FirstMessage(mmsghdr& datagram) {
  return *static_cast<nlmsghdr*>(datagram.msg_hdr.msg_iov[0].iov_base);
}

int RecvmmsgTruncated(int socket, mmsghdr* messages, unsigned int count, int flags,
                      timespec* limit) {
  const int received = ::recvmmsg(socket, messages, count, flags, limit);
  if (received > 0) messages[0].msg_hdr.msg_flags |= MSG_TRUNC;
  return received;
}

int RecvmmsgAnsweringError(int socket, mmsghdr* messages, unsigned int count, int flags,
                           timespec* limit) {
  const int received = ::recvmmsg(socket, messages, count, flags, limit);
  if (received > 0) FirstMessage(messages[0]).nlmsg_type = NLMSG_ERROR;
  return received;
}

// Before the kernel's answer, one error message from sender (0: the kernel)
// for the request numbered sequence; a message for another sender or request
// is no part of the answer.
template <unsigned kSender, unsigned kSequence>
int RecvmmsgStrayFirst(int socket, mmsghdr* messages, unsigned int count, int flags,
                       timespec* limit) {
  if (answerFaulted) return ::recvmmsg(socket, messages, count, flags, limit);
  answerFaulted = true;
  nlmsghdr& stray = FirstMessage(messages[0]);
  stray = nlmsghdr{};
  stray.nlmsg_len = NLMSG_LENGTH(sizeof(nlmsgerr));
  stray.nlmsg_type = NLMSG_ERROR;
  stray.nlmsg_seq = kSequence;
  std::memset(NLMSG_DATA(&stray), 0, sizeof(nlmsgerr));
  static_cast<sockaddr_nl*>(messages[0].msg_hdr.msg_name)->nl_pid = kSender;
  messages[0].msg_hdr.msg_flags = 0;
  messages[0].msg_len = stray.nlmsg_len;
  return 1;
}

int SocketRefused(int, int, int) noexcept {
  errno = EMFILE;
  return -1;
}

struct DumpCase {
  const char* name;
  decltype(&::socket) socket;  // null: the system's, as for the two below
  decltype(&::sendto) sendto;
  decltype(&::recvmmsg) recvmmsg;
  bool listed;  // the dump succeeds, with the same adapters as undisturbed
};

void PrintTo(const DumpCase& c, std::ostream* out) { *out << c.name; }

constexpr int kRecordRequest = 0;  // only records the request

const DumpCase kDumpCases[] = {
    {"SocketRefused", SocketRefused, nullptr, nullptr, false},
    {"LinkRequestFails", nullptr, SendtoFailingFor<RTM_GETLINK>, nullptr, false},
    {"AddressRequestFails", nullptr, SendtoFailingFor<RTM_GETADDR>, nullptr, false},
    {"LinkAnswerInterrupted", nullptr, SendtoFailingFor<kRecordRequest>,
     RecvmmsgFailingFor<RTM_GETLINK, EINTR>, true},
    {"AddressAnswerInterrupted", nullptr, SendtoFailingFor<kRecordRequest>,
     RecvmmsgFailingFor<RTM_GETADDR, EINTR>, true},
    {"LinkAnswerFails", nullptr, SendtoFailingFor<kRecordRequest>,
     RecvmmsgFailingFor<RTM_GETLINK, ENOBUFS>, false},
    {"AddressAnswerFails", nullptr, SendtoFailingFor<kRecordRequest>,
     RecvmmsgFailingFor<RTM_GETADDR, ENOMEM>, false},
    {"AnswerTruncated", nullptr, nullptr, RecvmmsgTruncated, false},
    {"AnswerIsAnError", nullptr, nullptr, RecvmmsgAnsweringError, false},
    {"ErrorFromAnotherSenderIgnored", nullptr, nullptr, RecvmmsgStrayFirst<4242, 1>, true},
    {"ErrorForAnotherRequestIgnored", nullptr, nullptr, RecvmmsgStrayFirst<0, 99>, true},
};

std::string Describe(const std::vector<seatenrol::AdapterRecord>& adapters) {
  std::string text;
  for (const seatenrol::AdapterRecord& adapter : adapters) {
    text += adapter.name + " " +
            std::string(reinterpret_cast<const char*>(adapter.hardware), adapter.hardwareLength);
    for (const seatenrol::AdapterAddress& address : adapter.addresses) {
      text += " " + address.address + "/" + address.mask;
    }
    for (const std::string& gateway : adapter.gateways) text += " via " + gateway;
    text += "\n";
  }
  return text;
}

class DumpFault : public ::testing::TestWithParam<DumpCase> {
protected:
  seatenrol_test::RestoreSystemCalls restore;
};

TEST_P(DumpFault, FailsCleanlyOrRetries) {
  const DumpCase& c = GetParam();
  std::vector<seatenrol::AdapterRecord> undisturbed;
  ASSERT_TRUE(seatenrol::ProbeAdapters(undisturbed));
  const int descriptors = OpenDescriptors();

  lastRequest = 0;
  answerFaulted = false;
  if (c.socket != nullptr) Posix().socket = c.socket;
  if (c.sendto != nullptr) Posix().sendto = c.sendto;
  if (c.recvmmsg != nullptr) Posix().recvmmsg = c.recvmmsg;
  std::vector<seatenrol::AdapterRecord> adapters;
  EXPECT_EQ(seatenrol::ProbeAdapters(adapters), c.listed);
  if (c.listed) {
    EXPECT_EQ(Describe(adapters), Describe(undisturbed));
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

INSTANTIATE_TEST_SUITE_P(Calls, DumpFault, ::testing::ValuesIn(kDumpCases),
                         [](const ::testing::TestParamInfo<DumpCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
