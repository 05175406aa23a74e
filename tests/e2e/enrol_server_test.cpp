// The reference server's logic: its venue file, its reading of requests and
// the answers it makes, faults included.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/hex.h"
#include "crypto/crypto.h"
#include "enrol-server/enrolment_answer.h"
#include "enrol-server/report.h"
#include "enrol-server/request_decoder.h"
#include "enrol-server/venue_table.h"
#include "platform/ipv4_text.h"
#include "request_fixture.h"
#include "seatenrol/wire.h"

namespace seatenrol {
namespace {

using seatenrol_test::EncodedRequest;

const std::string kSecretHex = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

VenueSecret CountingSecret() {
  VenueSecret secret;
  for (std::size_t i = 0; i < secret.size(); ++i) secret[i] = static_cast<unsigned char>(i);
  return secret;
}

struct VenueFileCase {
  const char* text;
  bool good;
  std::size_t venues;
};

TEST(VenueTable, ReadsTheFormatAndRejectsEverythingElse) {
  const std::string secret = kSecretHex;
  const VenueFileCase cases[] = {
      {"", true, 0},
      {"# only a comment\n\n   \n", true, 0},
      {"ABC 000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f\n", true, 1},
      {"A 000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F # note\r\n", true, 1},
      {"\tA\t000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", true, 1},
      {"12345678901234567890 000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f\n",
       true, 1},
      {"123456789012345678901 000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f\n",
       false, 0},
      {"A\n", false, 0},
      {"A 00\n", false, 0},
      {"A 000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1g\n", false, 0},
      {"A 000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f extra\n", false, 0},
      {"A 000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f\n"
       "A 000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f\n",
       false, 0},
  };
  for (const VenueFileCase& row : cases) {
    VenueTable table;
    std::istringstream in(row.text);
    std::string error;
    EXPECT_EQ(table.Load(in, error), row.good) << row.text;
    EXPECT_EQ(table.Size(), row.venues) << row.text;
    if (!row.good) {
      EXPECT_NE(error.find("line "), std::string::npos) << error;
    }
  }
  VenueTable table;
  std::istringstream in("# venues\nA " + secret + "\nB " + secret + "\n");
  std::string error;
  ASSERT_TRUE(table.Load(in, error));
  ASSERT_NE(table.Find("B"), nullptr);
  EXPECT_EQ(*table.Find("B"), CountingSecret());
  EXPECT_EQ(table.Find("C"), nullptr);
}

TEST(VenueTable, AFailedLoadLeavesNoVenueBehind) {
  VenueTable table;
  std::string error;
  std::istringstream good("A " + kSecretHex + "\n");
  ASSERT_TRUE(table.Load(good, error));
  std::istringstream bad("B nothex\n");
  EXPECT_FALSE(table.Load(bad, error));
  EXPECT_EQ(table.Find("A"), nullptr);
}

// A venue file the server cannot serve from stops it, with a message that
// says why, rather than starting a server that refuses every seat.
TEST(VenueTable, AFileThatServesNoOneIsRefusedWithItsReason) {
  const std::string directory =
      (std::filesystem::temp_directory_path() / ("venue-files-" + std::to_string(getpid())))
          .string();
  std::filesystem::create_directories(directory);
  const auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(directory + "/" + name) << text;
    return directory + "/" + name;
  };
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {directory, "is a directory"},
      {directory + "/missing.txt", "cannot open"},
      {write("empty.txt", ""), "holds no venue"},
      {write("comments.txt", "# no venue yet\n\n"), "holds no venue"},
      {write("broken.txt", "A 00\n"), "line 1"},
  };
  for (const auto& row : cases) {
    VenueTable table;
    std::string error;
    EXPECT_FALSE(table.LoadFile(row.path, error)) << row.path;
    EXPECT_NE(error.find(row.reason), std::string::npos) << error;
    EXPECT_NE(error.find(row.path), std::string::npos) << error;
  }
  VenueTable table;
  std::string error;
  EXPECT_TRUE(table.LoadFile(write("good.txt", "A " + kSecretHex + "\n"), error)) << error;
  EXPECT_EQ(table.Size(), 1u);
  std::error_code ignored;
  std::filesystem::remove_all(directory, ignored);
}

DecodedRequest Decoded(const std::string& wire) {
  DecodedRequest request{};
  EXPECT_TRUE(
      DecodeRequest(reinterpret_cast<const unsigned char*>(wire.data()), wire.size(), request));
  return request;
}

TEST(RequestDecoder, ReadsEachFieldFromWhereTheLibraryPutsIt) {
  const std::string wire = EncodedRequest("44010612", CountingSecret());
  ASSERT_EQ(wire.size(), kRequestSize);
  const DecodedRequest request = Decoded(wire);
  EXPECT_EQ(request.commandID, 127);
  EXPECT_EQ(request.bodyLength, 277);
  EXPECT_EQ(request.userID[0], 1);
  EXPECT_EQ(request.userID[31], 32);
  EXPECT_EQ(request.peerUserID[0], 0x80);
  EXPECT_EQ(request.commandVer, 5);
  EXPECT_EQ(request.commandReserve[8], 0x48);
  EXPECT_EQ(request.userType, 2);
  EXPECT_EQ(FieldText(request.userLevel, 2), "10");
  EXPECT_EQ(FieldText(request.provinceID, 32), "PR");
  EXPECT_EQ(FieldText(request.cityID, 32), "CI");
  EXPECT_EQ(FieldText(request.areaID, 32), "AR");
  EXPECT_EQ(VenueIDOf(request), "44010612");
  EXPECT_EQ(request.localIP, 0xC0A8010Au);
  EXPECT_EQ(ToHex(request.localMAC, 6), "001a2b3c4d5e");
  EXPECT_EQ(FieldText(request.hostName, 20), "seat-07");
  EXPECT_EQ(FieldText(request.machineCharacteristic, 32), "001A2B3C4D5E");
  EXPECT_EQ(request.serialPassword[0], 0xA0);
  EXPECT_EQ(request.serialPassword[19], 0xB3);

  // Only the request's own length is a request: a longer datagram that
  // begins with one is not.
  const std::string longer = wire + std::string(1, '\0');
  for (const std::size_t length : {kRequestSize - 1, kRequestSize + 1}) {
    DecodedRequest untouched{};
    untouched.commandID = 9;
    EXPECT_FALSE(
        DecodeRequest(reinterpret_cast<const unsigned char*>(longer.data()), length, untouched))
        << length;
    EXPECT_EQ(untouched.commandID, 9);
  }
}

TEST(RequestDecoder, AVenueIDFillingItsTwentyBytesIsReadWhole) {
  const DecodedRequest request = Decoded(EncodedRequest("12345678901234567890", CountingSecret()));
  EXPECT_EQ(VenueIDOf(request), "12345678901234567890");
}

class Answers : public ::testing::Test {
protected:
  void SetUp() override {
    std::istringstream in("44010612 " + kSecretHex + "\n");
    std::string error;
    ASSERT_TRUE(m_venues.Load(in, error));
  }
  Answer For(const std::string& venue, const VenueSecret& secret, const ServerFaults& faults = {}) {
    return AnswerRequest(Decoded(EncodedRequest(venue, secret)), m_venues, faults);
  }
  static int Int32At(const Answer& answer, std::size_t offset) {
    return static_cast<int>(LoadBigEndian32(answer.reply.data() + offset));
  }

  VenueTable m_venues;
};

TEST_F(Answers, AcceptsAKnownVenueWithCredentialAndVenueID) {
  const Answer answer = For("44010612", CountingSecret());
  EXPECT_EQ(answer.errorNo, 0);
  EXPECT_TRUE(answer.accepted);
  EXPECT_TRUE(answer.answered);
  ASSERT_EQ(answer.reply.size(), 139u + 52u);
  EXPECT_EQ(Int32At(answer, 0), kResponseCommandID);
  EXPECT_EQ(Int32At(answer, 82), kResponseCommandID);
  EXPECT_EQ(Int32At(answer, 86), 0);
  EXPECT_EQ(answer.reply[90], 1);
  EXPECT_EQ(Int32At(answer, 135), 52);

  // The credential is AES-128 of the machine characteristic under the first
  // 16 secret bytes: checked here with the cipher itself, block by block.
  unsigned char characteristic[32] = "001A2B3C4D5E";
  unsigned char expected[32];
  CAesCipher cipher;
  ASSERT_EQ(cipher.SetKey(16, CountingSecret().data()), 0);
  cipher.EncryptBlock(characteristic, expected);
  cipher.EncryptBlock(characteristic + 16, expected + 16);
  EXPECT_EQ(0, std::memcmp(answer.reply.data() + 139, expected, 32));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(answer.reply.data()) + 171, 20),
            std::string("44010612") + std::string(12, '\0'));

  // What the seat makes of it.
  CBuf buf;
  buf.Alloc(1024);
  buf.Append(answer.reply.data(), static_cast<unsigned int>(answer.reply.size()));
  CResponseCommandReg parsed;
  ASSERT_EQ(parsed.Create(&buf), 1);
  EXPECT_EQ(parsed.GetP2PError()->GetErrorInfoLen(), 52);
  EXPECT_EQ(0, std::memcmp(parsed.GetP2PError()->GetErrorInfo(), expected, 32));
}

TEST_F(Answers, RefusesUnknownVenuesAndWrongSecretsWithoutInformation) {
  VenueSecret wrong = CountingSecret();
  wrong[31] ^= 1;
  const struct {
    std::string venue;
    VenueSecret secret;
    int errorNo;
  } cases[] = {{"44010613", CountingSecret(), kUnknownVenue},
               {"4401061", CountingSecret(), kUnknownVenue},
               {"44010612", wrong, kWrongSecret}};
  for (const auto& row : cases) {
    const Answer answer = For(row.venue, row.secret);
    EXPECT_EQ(answer.errorNo, row.errorNo) << row.venue;
    EXPECT_FALSE(answer.accepted);
    ASSERT_EQ(answer.reply.size(), 91u);
    EXPECT_EQ(Int32At(answer, 86), row.errorNo);
    EXPECT_EQ(answer.reply[90], 0);
  }
}

TEST_F(Answers, FaultsBendTheAnswerAsAsked) {
  ServerFaults refuse;
  refuse.errorNo = 7;
  Answer answer = For("44010612", CountingSecret(), refuse);
  EXPECT_EQ(Int32At(answer, 86), 7);
  EXPECT_TRUE(answer.accepted);
  EXPECT_EQ(answer.reply.size(), 191u);
  refuse.errorNo = -6;
  EXPECT_FALSE(For("44010612", CountingSecret(), refuse).accepted);

  const struct {
    int declared;
    std::size_t size;
  } lengths[] = {{10, 149}, {0, 139}, {-7, 139}, {600, 739}, {2000, 1024}};
  for (const auto& row : lengths) {
    ServerFaults faults;
    faults.infoLength = row.declared;
    answer = For("44010612", CountingSecret(), faults);
    EXPECT_EQ(answer.reply.size(), row.size) << row.declared;
    EXPECT_EQ(Int32At(answer, 135), row.declared);
  }

  ServerFaults flag;
  flag.flagByte = 2;
  EXPECT_EQ(For("44010612", CountingSecret(), flag).reply[90], 2);

  ServerFaults cut;
  cut.truncate = 40;
  EXPECT_EQ(For("44010612", CountingSecret(), cut).reply.size(), 40u);
  cut.truncate = 5000;
  EXPECT_EQ(For("44010612", CountingSecret(), cut).reply.size(), 191u);

  ServerFaults drop;
  drop.drop = true;
  EXPECT_FALSE(For("44010612", CountingSecret(), drop).answered);
}

}  // namespace
}  // namespace seatenrol
