#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "seatenrol/wire.h"
#include "wire_test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;

// The registration response as the server sends it:
//   0 command ID (4) | 4 sender's user ID (32) | 36 addressee's user ID (32) |
//  68 version (1) | 69 reserve (9) | 78 body length (4) | 82 response command
//  ID (4) | 86 error number (4) | 90 info flag (1) | then, with flag 1:
//  91 company ID (20) | 111 local IP (4) | 115 host name (20) |
// 135 error info length n (4) | 139 error info (n bytes when n > 0)
struct Reply {
  unsigned int commandID = 0;
  Bytes sender = Bytes(32, 0);
  Bytes addressee = Bytes(32, 0);
  unsigned char version = 0;
  Bytes reserve = Bytes(9, 0);
  unsigned int bodyLength = 57;
  unsigned int responseCommandID = 0;
  unsigned int errorNo = 0;
  unsigned char flag = 0;
  Bytes companyID = Bytes(20, 0);
  unsigned int localIP = 0;
  Bytes hostName = Bytes(20, 0);
  int infoLen = 0;
  Bytes info;  // sent as given, whatever infoLen says

  Bytes Wire(bool withBlock) const {
    Bytes out;
    auto put = [&out](const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); };
    put(BigEndian(commandID));
    put(sender);
    put(addressee);
    out.push_back(version);
    put(reserve);
    put(BigEndian(bodyLength));
    put(BigEndian(responseCommandID));
    put(BigEndian(errorNo));
    out.push_back(flag);
    if (withBlock) {
      put(companyID);
      put(BigEndian(localIP));
      put(hostName);
      put(BigEndian(static_cast<unsigned int>(infoLen)));
      put(info);
    }
    return out;
  }
};

// A received datagram: a 1024-byte buffer holding bytes, fill length set.
struct Received {
  explicit Received(const Bytes& bytes) {
    buf.Alloc(1024);
    buf.Append(bytes.data(), static_cast<unsigned int>(bytes.size()));
  }
  CBuf buf;
};

Bytes EncodeResponse(CResponseCommandReg& record) {
  CBuf buf;
  EXPECT_EQ(buf.Alloc(1024), 1);
  EXPECT_EQ(record.GetByteBuf(buf), 1);
  return Contents(buf);
}

Bytes Field(unsigned char* field, std::size_t size) { return Bytes(field, field + size); }

TEST(ResponseTest, NewRecordEncodesTo91BytesAndParsesBackToZero) {
  CResponseCommandReg record;
  const Bytes wire = EncodeResponse(record);
  EXPECT_EQ(wire, Reply().Wire(false));
  EXPECT_EQ(Slice(wire, 78, 4), (Bytes{0, 0, 0, 0x39}));

  CResponseCommandReg parsed;
  Received in(wire);
  ASSERT_EQ(parsed.Create(&in.buf), 1);
  EXPECT_EQ(EncodeResponse(parsed), wire);
  EXPECT_EQ(parsed.GetP2PError()->GetInfoFlag(), 0);
}

TEST(ResponseTest, ParsesEveryFieldAndSwapsTheUserIDs) {
  Reply reply;
  reply.commandID = 0x80000001u;
  reply.sender = Pattern(0x10, 32);
  reply.addressee = Pattern(0x40, 32);
  reply.version = 3;
  reply.reserve = Pattern(0x70, 9);
  reply.responseCommandID = 128;
  reply.errorNo = static_cast<unsigned int>(-5);
  reply.flag = 1;
  reply.companyID = Pattern(0x90, 20);
  reply.localIP = 0xC0A8010Au;
  reply.hostName = Pattern(0xB0, 20);
  reply.infoLen = 52;
  reply.info = Pattern(0xD0, 52);
  reply.bodyLength = 109;
  const Bytes wire = reply.Wire(true);
  ASSERT_EQ(wire.size(), 191u);

  CResponseCommandReg record;
  Received in(wire);
  ASSERT_EQ(record.Create(&in.buf), 1);
  EXPECT_EQ(record.GetCommandID(), static_cast<int>(0x80000001u));
  EXPECT_EQ(Field(record.GetPeerUserID(), 32), reply.sender);
  EXPECT_EQ(Field(record.GetUserID(), 32), reply.addressee);
  EXPECT_EQ(record.GetCommandVer(), 3);
  EXPECT_EQ(Field(record.GetCommandReserve(), 9), reply.reserve);
  RegError* r = record.GetP2PError();
  EXPECT_EQ(r->GetResponseCommandID(), 128);
  EXPECT_EQ(r->GetErrorNo(), -5);
  EXPECT_EQ(r->GetInfoFlag(), 1);
  EXPECT_EQ(Field(r->GetCompanyID(), 20), reply.companyID);
  EXPECT_EQ(r->GetLocalIP(), static_cast<int>(0xC0A8010Au));
  Bytes host = reply.hostName;
  host[19] = 0;  // only 19 bytes of the name are kept
  EXPECT_EQ(Field(r->GetHostName(), 20), host);
  EXPECT_EQ(r->GetErrorInfoLen(), 52);
  EXPECT_EQ(Field(r->GetErrorInfo(), 52), reply.info);
  EXPECT_EQ(Field(r->GetErrorInfo() + 52, 460), Bytes(460, 0));

  // Encoding writes its own user ID first: the two IDs come back swapped, and
  // the host name without its dropped last byte.
  Bytes expected = wire;
  std::copy(reply.addressee.begin(), reply.addressee.end(), expected.begin() + 4);
  std::copy(reply.sender.begin(), reply.sender.end(), expected.begin() + 36);
  expected[115 + 19] = 0;
  EXPECT_EQ(EncodeResponse(record), expected);
}

struct InfoCase {
  const char* name;
  int declared;      // n on the wire
  std::size_t sent;  // error info bytes actually sent
  int keptLen;       // GetErrorInfoLen after parsing
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const InfoCase& c, std::ostream* os) { *os << c.name; }

class ErrorInfoLengthTest : public ::testing::TestWithParam<InfoCase> {};

TEST_P(ErrorInfoLengthTest, KeepsAtMost511Bytes) {
  const InfoCase& c = GetParam();
  Reply reply;
  reply.flag = 1;
  reply.infoLen = c.declared;
  reply.info = Pattern(1, c.sent);
  CResponseCommandReg record;
  // Left-over info in the record must not survive an empty or negative n.
  unsigned char stale[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  record.GetP2PError()->SetErrorInfo(stale, 8);

  Received in(reply.Wire(true));
  ASSERT_EQ(record.Create(&in.buf), 1);
  RegError* r = record.GetP2PError();
  EXPECT_EQ(r->GetErrorInfoLen(), c.keptLen);
  const std::size_t kept = static_cast<std::size_t>(c.keptLen);
  EXPECT_EQ(Field(r->GetErrorInfo(), kept), Pattern(1, kept));
  EXPECT_EQ(Field(r->GetErrorInfo() + kept, 512 - kept), Bytes(512 - kept, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, ErrorInfoLengthTest,
    ::testing::Values(InfoCase{"zero", 0, 0, 0}, InfoCase{"negative", -7, 0, 0},
                      InfoCase{"most_negative", -2147483647 - 1, 0, 0},
                      InfoCase{"fiftytwo", 52, 52, 52}, InfoCase{"exactly511", 511, 511, 511},
                      InfoCase{"sixhundred", 600, 600, 511},
                      InfoCase{"sixhundred_cut", 600, 511, 511}),
    [](const ::testing::TestParamInfo<InfoCase>& info) { return std::string(info.param.name); });

TEST(ResponseTest, FlagOtherThanOneLeavesTheInformationBlockAlone) {
  const unsigned char flags[] = {2, 0xFF, 0};
  for (unsigned char flag : flags) {
    CResponseCommandReg record;
    RegError* r = record.GetP2PError();
    unsigned char company[20] = {7};
    unsigned char info[4] = {1, 2, 3, 4};
    r->SetCompanyID(company, 20);
    r->SetLocalIP(42);
    r->SetErrorInfo(info, 4);
    Reply reply;
    reply.flag = flag;
    reply.errorNo = 3;
    // 91 bytes only: the flag announces nothing the parser would read.
    Received in(reply.Wire(false));
    ASSERT_EQ(record.Create(&in.buf), 1) << int{flag};
    EXPECT_EQ(r->GetInfoFlag(), flag != 0 ? 1 : 0);
    EXPECT_EQ(r->GetErrorNo(), 3);
    EXPECT_EQ(r->GetCompanyID()[0], 7);
    EXPECT_EQ(r->GetLocalIP(), 42);
    EXPECT_EQ(r->GetErrorInfoLen(), 4);
  }
}

struct ShortCase {
  const char* name;
  unsigned char flag;
  int declared;
  std::size_t length;  // bytes received
  int result;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ShortCase& c, std::ostream* os) { *os << c.name; }

class ShortReplyTest : public ::testing::TestWithParam<ShortCase> {};

TEST_P(ShortReplyTest, IsRefusedWithTheRecordUnchanged) {
  const ShortCase& c = GetParam();
  Reply reply;
  reply.flag = c.flag;
  reply.errorNo = 77;
  reply.infoLen = c.declared;
  reply.info = Pattern(1, 700);
  Bytes wire = reply.Wire(true);
  wire.resize(c.length);

  CResponseCommandReg record;
  Received in(wire);
  EXPECT_EQ(record.Create(&in.buf), c.result);
  EXPECT_EQ(record.GetP2PError()->GetErrorNo(), c.result == 1 ? 77 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, ShortReplyTest,
    ::testing::Values(ShortCase{"empty", 0, 0, 0, 0}, ShortCase{"header_only", 0, 0, 82, 0},
                      ShortCase{"one_short", 0, 0, 90, 0}, ShortCase{"minimal", 0, 0, 91, 1},
                      ShortCase{"flag2_minimal", 2, 0, 91, 1}, ShortCase{"block_cut", 1, 0, 138, 0},
                      ShortCase{"block_whole", 1, 0, 139, 1},
                      ShortCase{"negative_n", 1, -1, 139, 1}, ShortCase{"info_cut", 1, 52, 190, 0},
                      ShortCase{"info_whole", 1, 52, 191, 1},
                      ShortCase{"huge_n_cut", 1, 600, 649, 0},
                      ShortCase{"huge_n_enough", 1, 600, 650, 1},
                      ShortCase{"max_n_cut", 1, 2147483647, 649, 0}),
    [](const ::testing::TestParamInfo<ShortCase>& info) { return std::string(info.param.name); });

TEST(ResponseTest, RefusesMissingBuffers) {
  CResponseCommandReg record;
  EXPECT_EQ(record.Create(nullptr), 0);
  CBuf noStorage;
  EXPECT_EQ(record.Create(&noStorage), 0);
}

TEST(ResponseTest, EncoderWritesBodyLengthFromInfoLengthAndStopsWhenFull) {
  CResponseCommandReg record;
  RegError source;
  source.SetInfoFlag(1);
  Bytes info = Pattern(0x30, 52);
  source.SetErrorInfo(info.data(), 52);
  ASSERT_EQ(record.SetP2PError(&source), 1);
  const Bytes wire = EncodeResponse(record);
  ASSERT_EQ(wire.size(), 191u);
  EXPECT_EQ(Slice(wire, 78, 4), BigEndian(109));
  EXPECT_EQ(Slice(wire, 135, 4), BigEndian(52));
  EXPECT_EQ(Slice(wire, 139, 52), info);

  // Without the flag only 91 bytes go out, still declaring n + 57.
  source.SetInfoFlag(0);
  record.SetP2PError(&source);
  const Bytes bare = EncodeResponse(record);
  ASSERT_EQ(bare.size(), 91u);
  EXPECT_EQ(Slice(bare, 78, 4), BigEndian(109));

  CBuf small;
  ASSERT_EQ(small.Alloc(90), 1);
  EXPECT_EQ(record.GetByteBuf(small), 0);
  EXPECT_EQ(small.GetDataLen(), 90u);  // all but the flag byte
  EXPECT_EQ(record.SetP2PError(nullptr), 0);
}

TEST(ResponseTest, HeaderSettersClampToTheirWidth) {
  CResponseCommandReg record;
  Bytes longer(64, 0xAB);
  EXPECT_EQ(record.SetUserID(longer.data(), 64), 1);
  EXPECT_EQ(record.SetCommandReserve(longer.data(), 20), 1);
  EXPECT_EQ(Field(record.GetPeerUserID(), 32), Bytes(32, 0));
  EXPECT_EQ(record.GetCommandVer(), 0);
  EXPECT_EQ(record.SetPeerUserID(longer.data(), 33), 1);
  const Bytes wire = EncodeResponse(record);
  EXPECT_EQ(Slice(wire, 4, 64), Bytes(64, 0xAB));
  EXPECT_EQ(Slice(wire, 68, 1), Bytes{0});
  EXPECT_EQ(Slice(wire, 69, 9), Bytes(9, 0xAB));
  EXPECT_EQ(Slice(wire, 78, 4), BigEndian(57));

  for (auto setter : {&CResponseCommandReg::SetUserID, &CResponseCommandReg::SetPeerUserID,
                      &CResponseCommandReg::SetCommandReserve}) {
    EXPECT_EQ((record.*setter)(nullptr, 4), 0);
    EXPECT_EQ((record.*setter)(longer.data(), 0), 0);
    EXPECT_EQ((record.*setter)(longer.data(), -3), 0);
  }
  EXPECT_EQ(EncodeResponse(record), wire);
}

TEST(ResponseTest, AssignmentCopiesEveryField) {
  Reply reply;
  reply.sender = Pattern(1, 32);
  reply.flag = 1;
  reply.hostName = Pattern(0x41, 20);
  reply.infoLen = 3;
  reply.info = {7, 8, 9};
  CResponseCommandReg source;
  Received in(reply.Wire(true));
  ASSERT_EQ(source.Create(&in.buf), 1);
  CResponseCommandReg copy;
  copy = source;
  EXPECT_EQ(EncodeResponse(copy), EncodeResponse(source));
}

TEST(RegErrorTest, ErrorInfoKeepsAtMost511AndClearsOnRefusal) {
  struct Case {
    int count;
    bool nullSource;
    int length;
  };
  const Case cases[] = {{600, false, 511}, {511, false, 511}, {1, false, 1},
                        {10, true, 0},     {0, false, 0},     {-5, false, 0}};
  const Bytes source = Pattern(0x11, 600);
  for (const Case& c : cases) {
    RegError r;
    Bytes stale(512, 0xEE);
    r.SetErrorInfo(stale.data(), 512);
    r.SetErrorInfo(c.nullSource ? nullptr : const_cast<unsigned char*>(source.data()), c.count);
    EXPECT_EQ(r.GetErrorInfoLen(), c.length) << c.count;
    const std::size_t n = static_cast<std::size_t>(c.length);
    EXPECT_EQ(Field(r.GetErrorInfo(), n), Slice(source, 0, n)) << c.count;
    EXPECT_EQ(Field(r.GetErrorInfo() + n, 512 - n), Bytes(512 - n, 0)) << c.count;
  }
}

TEST(RegErrorTest, FieldSettersClampAndRefuse) {
  RegError r;
  r.SetInfoFlag(5);
  EXPECT_EQ(r.GetInfoFlag(), 1);
  r.SetInfoFlag(0);
  EXPECT_EQ(r.GetInfoFlag(), 0);

  Bytes longer = Pattern(0x61, 25);
  EXPECT_EQ(r.SetCompanyID(longer.data(), 25), 1);
  EXPECT_EQ(Field(r.GetCompanyID(), 20), Slice(longer, 0, 20));
  unsigned char two[2] = {1, 2};
  EXPECT_EQ(r.SetCompanyID(two, 2), 1);
  EXPECT_EQ(Field(r.GetCompanyID(), 4), (Bytes{1, 2, 0x63, 0x64}));
  EXPECT_EQ(r.SetCompanyID(nullptr, 2), 0);
  EXPECT_EQ(r.SetCompanyID(two, 0), 0);

  EXPECT_EQ(r.SetHostName(longer.data(), 20), 1);
  Bytes host = Slice(longer, 0, 20);
  host[19] = 0;
  EXPECT_EQ(Field(r.GetHostName(), 20), host);
  // A shorter name clears what a longer one left.
  EXPECT_EQ(r.SetHostName(two, 2), 1);
  EXPECT_EQ(Field(r.GetHostName(), 20),
            (Bytes{1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(r.SetHostName(nullptr, 5), 0);
  EXPECT_EQ(r.SetHostName(two, -1), 0);
  EXPECT_EQ(r.GetHostName()[0], 1);
  EXPECT_EQ(r.SetLocalIP(-1), 1);
  EXPECT_EQ(r.GetLocalIP(), -1);
}

// A record whose host name fills all 20 bytes, as only assignment can make one.
void MakeFullHostName(RegError& r) {
  CResponseCommandReg response;
  Reply reply;
  reply.flag = 1;
  reply.responseCommandID = 9;
  reply.errorNo = static_cast<unsigned int>(-4);
  reply.companyID = Pattern(0x20, 20);
  reply.localIP = 0x7F000001u;
  reply.infoLen = 32;
  reply.info = Pattern(0x50, 32);
  Received in(reply.Wire(true));
  ASSERT_EQ(response.Create(&in.buf), 1);
  r = *response.GetP2PError();
  unsigned char* host = r.GetHostName();
  for (int i = 0; i < 20; ++i) host[i] = static_cast<unsigned char>('A' + i);
}

TEST(RegErrorTest, P2PErrorCopiesAllButTheHostNamesLastByte) {
  RegError source;
  MakeFullHostName(source);
  RegError copy;
  ASSERT_EQ(copy.SetP2PError(&source), 1);
  EXPECT_EQ(copy.GetResponseCommandID(), 9);
  EXPECT_EQ(copy.GetErrorNo(), -4);
  EXPECT_EQ(copy.GetInfoFlag(), 1);
  EXPECT_EQ(Field(copy.GetCompanyID(), 20), Pattern(0x20, 20));
  EXPECT_EQ(copy.GetLocalIP(), 0x7F000001);
  EXPECT_EQ(copy.GetHostName()[18], 'A' + 18);
  EXPECT_EQ(copy.GetHostName()[19], 0);
  EXPECT_EQ(copy.GetErrorInfoLen(), 32);
  EXPECT_EQ(Field(copy.GetErrorInfo(), 32), Pattern(0x50, 32));

  RegError assigned;
  assigned = source;
  EXPECT_EQ(assigned.GetHostName()[19], 'A' + 19);
  EXPECT_EQ(Field(assigned.GetErrorInfo(), 32), Pattern(0x50, 32));

  EXPECT_EQ(copy.SetP2PError(nullptr), 0);
  EXPECT_EQ(copy.GetErrorNo(), -4);

  // Copying a record onto itself keeps its contents.
  ASSERT_EQ(source.SetP2PError(&source), 1);
  EXPECT_EQ(Field(source.GetHostName(), 19), Field(copy.GetHostName(), 19));
  EXPECT_EQ(Field(source.GetErrorInfo(), 32), Pattern(0x50, 32));
}

}  // namespace
