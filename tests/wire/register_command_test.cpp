#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "seatenrol/wire.h"
#include "wire_test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;
using ByteSetter = int (CPSCRegisterCommand::*)(unsigned char*, int);

// One row per piece of the 359-byte request. Byte fields with a setter are
// filled with Pattern(seed, size) in the full record; the other rows give
// their bytes for a new and for the full record.
struct Row {
  std::size_t offset;
  std::size_t size;
  const char* field;
  ByteSetter setter;
  unsigned char seed;
  Bytes fresh;
  Bytes full;
};

const std::vector<Row>& RequestLayout() {
  static const std::vector<Row> rows = {
      {0, 4, "command ID", nullptr, 0, {0, 0, 0, 0x7F}, {0, 0, 0, 0x7F}},
      {4, 32, "user ID", &CPSCRegisterCommand::SetUserID, 0x10, {}, {}},
      {36, 32, "peer user ID", &CPSCRegisterCommand::SetPeerUserID, 0x30, {}, {}},
      {68, 1, "command version", nullptr, 0, {0}, {0x01}},
      {69, 9, "command reserve", &CPSCRegisterCommand::SetCommandReserve, 0x50, {}, {}},
      {78, 4, "body length", nullptr, 0, {0, 0, 0x01, 0x15}, {0, 0, 0x01, 0x15}},
      {82, 1, "user type", nullptr, 0, {0xFF}, {0x02}},
      {83, 2, "user level", &CPSCRegisterCommand::SetUserLevel, 0x60, {}, {}},
      {85, 32, "country ID", &CPSCRegisterCommand::SetCountryID, 0x70, {}, {}},
      {117, 32, "province ID", &CPSCRegisterCommand::SetProvinceID, 0x90, {}, {}},
      {149, 32, "city ID", &CPSCRegisterCommand::SetCityID, 0xB0, {}, {}},
      {181, 32, "area ID", &CPSCRegisterCommand::SetAreaID, 0xD0, {}, {}},
      {213, 32, "company ID", &CPSCRegisterCommand::SetCompanyID, 0xF0, {}, {}},
      {245, 4, "local IP", nullptr, 0, {0, 0, 0, 0}, {0xC0, 0xA8, 0x01, 0x0A}},
      {249, 6, "local MAC", nullptr, 0, Bytes(6, 0), {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}},
      {255, 20, "host name", &CPSCRegisterCommand::SetHostName, 0x21, {}, {}},
      {275,
       32,
       "machine characteristic",
       &CPSCRegisterCommand::SetMachineCharacteristic,
       0x41,
       {},
       {}},
      {307, 32, "serial ID", &CPSCRegisterCommand::SetSerialID, 0x81, {}, {}},
      {339, 20, "serial password", &CPSCRegisterCommand::SetSerialPassword, 0xC1, {}, {}},
  };
  return rows;
}

Bytes FreshBytes(const Row& row) { return row.setter ? Bytes(row.size, 0) : row.fresh; }
Bytes FullBytes(const Row& row) { return row.setter ? Pattern(row.seed, row.size) : row.full; }

void FillEveryField(CPSCRegisterCommand& record) {
  for (const Row& row : RequestLayout()) {
    if (row.setter == nullptr) continue;
    Bytes value = FullBytes(row);
    ASSERT_EQ((record.*row.setter)(value.data(), static_cast<int>(value.size())), 1) << row.field;
  }
  record.SetCommandVer(1);
  record.SetUserType(2);
  ASSERT_EQ(record.SetLocalIP("192.168.1.10"), 1);
  const unsigned char mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  ASSERT_EQ(record.SetLocalMAC(mac, 6), 1);
}

Bytes Encode(CPSCRegisterCommand& record, unsigned int capacity = 1024) {
  CBuf buf;
  EXPECT_EQ(buf.Alloc(capacity), 1);
  record.GetByteBuf(buf);
  return Contents(buf);
}

void ExpectLayout(const Bytes& wire, Bytes (*expected)(const Row&)) {
  ASSERT_EQ(wire.size(), 359u);
  for (const Row& row : RequestLayout())
    EXPECT_EQ(Slice(wire, row.offset, row.size), expected(row)) << row.field;
}

TEST(RequestLayoutTest, RowsCoverTheRequestWithoutGaps) {
  std::size_t next = 0;
  for (const Row& row : RequestLayout()) {
    EXPECT_EQ(row.offset, next) << row.field;
    EXPECT_EQ(FullBytes(row).size(), row.size) << row.field;
    next = row.offset + row.size;
  }
  EXPECT_EQ(next, 359u);
}

TEST(RegisterCommandTest, NewRecordEncodesToItsDefaults) {
  CPSCRegisterCommand record;
  EXPECT_EQ(record.GetCommandID(), 127);
  EXPECT_EQ(record.GetUserType(), 255);
  ExpectLayout(Encode(record), FreshBytes);
}

TEST(RegisterCommandTest, FullRecordEncodesEveryFieldInPlace) {
  CPSCRegisterCommand record;
  FillEveryField(record);
  ExpectLayout(Encode(record), FullBytes);
  // Encoding leaves the record as it was, so it repeats byte for byte.
  EXPECT_EQ(Encode(record), Encode(record));
}

TEST(RegisterCommandTest, EncodesBehindTheFillLength) {
  CPSCRegisterCommand record;
  FillEveryField(record);
  CBuf buf;
  ASSERT_EQ(buf.Alloc(1024), 1);
  const unsigned char prefix[3] = {0xAA, 0xBB, 0xCC};
  ASSERT_EQ(buf.Append(prefix, 3), 1);
  ASSERT_EQ(record.GetByteBuf(buf), 1);
  const Bytes wire = Contents(buf);
  ASSERT_EQ(wire.size(), 362u);
  EXPECT_EQ(Slice(wire, 0, 3), Bytes(prefix, prefix + 3));
  EXPECT_EQ(Slice(wire, 3, 359), Encode(record));
}

TEST(RegisterCommandTest, TooSmallBufferKeepsThePiecesThatFit) {
  CPSCRegisterCommand record;
  FillEveryField(record);
  const Bytes whole = Encode(record);
  CBuf buf;
  ASSERT_EQ(buf.Alloc(358), 1);
  EXPECT_EQ(record.GetByteBuf(buf), 0);
  EXPECT_EQ(Contents(buf), Slice(whole, 0, 339));

  CBuf none;
  EXPECT_EQ(record.GetByteBuf(none), 0);
}

TEST(RegisterCommandTest, ByteSettersClampRefuseAndKeepTheTail) {
  for (const Row& row : RequestLayout()) {
    if (row.setter == nullptr) continue;
    SCOPED_TRACE(row.field);
    CPSCRegisterCommand record;
    // Longer than the field: only its width is taken, the neighbours stay zero.
    Bytes longer(row.size + 40, 0xAB);
    EXPECT_EQ((record.*row.setter)(longer.data(), static_cast<int>(longer.size())), 1);
    Bytes wire = Encode(record);
    EXPECT_EQ(Slice(wire, row.offset, row.size), Bytes(row.size, 0xAB));
    CPSCRegisterCommand fresh;
    Bytes clean = Encode(fresh);
    for (std::size_t i = 0; i < wire.size(); ++i) {
      if (i < row.offset || i >= row.offset + row.size) {
        ASSERT_EQ(wire[i], clean[i]) << i;
      }
    }

    // Refused: the field keeps its bytes.
    EXPECT_EQ((record.*row.setter)(nullptr, 1), 0);
    EXPECT_EQ((record.*row.setter)(longer.data(), 0), 0);
    EXPECT_EQ((record.*row.setter)(longer.data(), -1), 0);
    EXPECT_EQ(Encode(record), wire);

    // A shorter value overwrites the start and leaves the tail.
    unsigned char head[1] = {0x05};
    EXPECT_EQ((record.*row.setter)(head, 1), 1);
    wire[row.offset] = 0x05;
    EXPECT_EQ(Encode(record), wire);
  }
}

TEST(RegisterCommandTest, LocalMacClampsAndRefuses) {
  CPSCRegisterCommand record;
  const unsigned char mac[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(record.SetLocalMAC(mac, 8), 1);
  EXPECT_EQ(Slice(Encode(record), 249, 7), (Bytes{1, 2, 3, 4, 5, 6, 0}));
  EXPECT_EQ(record.SetLocalMAC(nullptr, 6), 0);
  EXPECT_EQ(record.SetLocalMAC(mac + 2, 0), 0);
  EXPECT_EQ(Slice(Encode(record), 249, 6), (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(RegisterCommandTest, LocalIpTakesOnlyDottedText) {
  CPSCRegisterCommand record;
  ASSERT_EQ(record.SetLocalIP("127.0.0.1"), 1);
  EXPECT_EQ(record.GetLocalIP(), 127 * (1 << 24) + 1);
  ASSERT_EQ(record.SetLocalIP("255.255.255.255"), 1);
  EXPECT_EQ(Slice(Encode(record), 245, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));

  ASSERT_EQ(record.SetLocalIP("10.1.2.3"), 1);
  for (const char* bad : {"", "10.1.2", "10.1.2.256", "a.b.c.d", "10.1.2.3.4", " 10.1.2.3"}) {
    EXPECT_EQ(record.SetLocalIP(bad), 0) << bad;
  }
  EXPECT_EQ(record.SetLocalIP(nullptr), 0);
  EXPECT_EQ(Slice(Encode(record), 245, 4), (Bytes{10, 1, 2, 3}));
}

TEST(RegisterCommandTest, AssignmentCopiesEveryField) {
  CPSCRegisterCommand source;
  FillEveryField(source);
  CPSCRegisterCommand copy;
  copy = source;
  EXPECT_EQ(Encode(copy), Encode(source));
}

}  // namespace
