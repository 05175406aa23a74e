#include <gtest/gtest.h>

#include <ostream>

#include <cstring>
#include <string>
#include <vector>

#include "crypto/crypto.h"

using seatenrol::CAesCipher;
using seatenrol::SealSerial;

namespace {

std::vector<unsigned char> FromHex(const std::string& hex) {
  std::vector<unsigned char> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

struct KnownAnswer {
  const char* name;
  const char* key;
  const char* plain;
  const char* cipher;
};

// The example vectors of FIPS-197 Appendix C.
const KnownAnswer kFips197[] = {
    {"aes128", "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"aes192", "000102030405060708090a0b0c0d0e0f1011121314151617",
     "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"aes256", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const KnownAnswer& c, std::ostream* os) { *os << c.name; }

class Fips197Test : public ::testing::TestWithParam<KnownAnswer> {};

TEST_P(Fips197Test, EncryptsAndDecryptsTheExampleBlock) {
  const KnownAnswer& v = GetParam();
  const auto key = FromHex(v.key);
  const auto plain = FromHex(v.plain);
  const auto expected = FromHex(v.cipher);
  CAesCipher aes;
  ASSERT_EQ(aes.SetKey(static_cast<int>(key.size()), key.data()), 0);

  unsigned char out[16] = {};
  EXPECT_EQ(aes.EncryptBlock(plain.data(), out), 0);
  EXPECT_EQ(std::vector<unsigned char>(out, out + 16), expected);

  unsigned char back[16] = {};
  EXPECT_EQ(aes.DecryptBlock(out, back), 0);
  EXPECT_EQ(std::vector<unsigned char>(back, back + 16), plain);
}

INSTANTIATE_TEST_SUITE_P(AppendixC, Fips197Test, ::testing::ValuesIn(kFips197),
                         [](const ::testing::TestParamInfo<KnownAnswer>& info) {
                           return std::string(info.param.name);
                         });

TEST(AesCipherTest, RefusesKeyLengthsOtherThan16_24_32) {
  const unsigned char key[32] = {};
  for (int length : {0, -1, 15, 20, 33}) {
    CAesCipher aes;
    EXPECT_EQ(aes.SetKey(length, key), -2) << length;
    unsigned char out[16] = {};
    EXPECT_EQ(aes.Encrypt(key, 16, out, 16), -1) << "an unkeyed object does not encrypt";
  }
}

TEST(AesCipherTest, RekeyingReplacesTheKey) {
  const auto k128 = FromHex(kFips197[0].key);
  const auto k256 = FromHex(kFips197[2].key);
  const auto plain = FromHex(kFips197[0].plain);
  CAesCipher aes;
  ASSERT_EQ(aes.SetKey(32, k256.data()), 0);
  ASSERT_EQ(aes.SetKey(16, k128.data()), 0);
  unsigned char out[16];
  aes.EncryptBlock(plain.data(), out);
  EXPECT_EQ(std::vector<unsigned char>(out, out + 16), FromHex(kFips197[0].cipher));

  // A failed keying leaves no older key behind.
  EXPECT_EQ(aes.SetKey(20, k128.data()), -2);
  EXPECT_EQ(aes.EncryptBlock(plain.data(), out), -1);
}

class EncryptRunTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(aes.SetKey(16, seatenrol::kSealingKey), 0); }
  CAesCipher aes;
};

TEST_F(EncryptRunTest, PartialLastBlockIsZeroFilled) {
  unsigned char input[17];
  for (int i = 0; i < 17; ++i) input[i] = static_cast<unsigned char>(0xA0 + i);
  unsigned char out[32] = {};
  ASSERT_EQ(aes.Encrypt(input, 17, out, 32), 32);

  unsigned char first[16], last[16];
  unsigned char padded[16] = {input[16]};
  aes.EncryptBlock(input, first);
  aes.EncryptBlock(padded, last);
  EXPECT_EQ(0, std::memcmp(out, first, 16));
  EXPECT_EQ(0, std::memcmp(out + 16, last, 16));

  unsigned char back[32] = {};
  ASSERT_EQ(aes.Decrypt(out, 32, back, 32), 32);
  EXPECT_EQ(0, std::memcmp(back, input, 17));
  EXPECT_EQ(0, std::memcmp(back + 17, std::vector<unsigned char>(15, 0).data(), 15));
}

TEST_F(EncryptRunTest, EqualBlocksGiveEqualOutput) {
  unsigned char input[32];
  for (int i = 0; i < 32; ++i) input[i] = static_cast<unsigned char>(i % 16);
  unsigned char out[32];
  ASSERT_EQ(aes.Encrypt(input, 32, out, 32), 32);
  EXPECT_EQ(0, std::memcmp(out, out + 16, 16));
}

TEST_F(EncryptRunTest, RefusesBadSizesWithoutWriting) {
  const unsigned char input[32] = {1};
  struct Case {
    int length;
    int capacity;
    int result;
  };
  const Case cases[] = {
      {16, 15, -1}, {17, 16, -1}, {16, -16, -1}, {-1, 32, -1},
      {0, 0, 0},    {0, 16, 0},   {0, -1, -1},   {0, -2147483647 - 1, -1},
  };
  for (const Case& c : cases) {
    unsigned char out[32];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(aes.Encrypt(input, c.length, out, c.capacity), c.result)
        << c.length << "/" << c.capacity;
    for (unsigned char b : out) ASSERT_EQ(b, 0xEE) << c.length << "/" << c.capacity;
  }
}

TEST_F(EncryptRunTest, DecryptTakesWholeBlocksOnly) {
  const unsigned char input[32] = {};
  unsigned char out[32];
  EXPECT_EQ(aes.Decrypt(input, 17, out, 32), -1);
  EXPECT_EQ(aes.Decrypt(input, 32, out, 31), -1);
  EXPECT_EQ(aes.Decrypt(input, 0, out, 0), 0);
}

// The expected bytes were produced by an independent AES-128-ECB under the
// sealing key ("q8#Lm2!vR5^tw0.z", no padding).
TEST(SealSerialTest, MatchesAes128EcbUnderTheSealingKey) {
  const char* secret = "VENUE-SECRET-32-BYTES-0123456789";
  const unsigned char expected[32] = {0x14, 0x24, 0xc6, 0xc8, 0xc6, 0xd8, 0x54, 0x32,
                                      0x3a, 0x4b, 0xc5, 0xa4, 0xb5, 0x3e, 0x1b, 0x72,
                                      0xda, 0xf9, 0xbc, 0xa6, 0x75, 0xd5, 0xe5, 0xb4,
                                      0x80, 0xa7, 0x02, 0xed, 0xcd, 0xe2, 0x37, 0xbc};
  unsigned char sealed[32] = {};
  ASSERT_TRUE(SealSerial(reinterpret_cast<const unsigned char*>(secret), 32, sealed, 32));
  EXPECT_EQ(0, std::memcmp(sealed, expected, 32));

  unsigned char again[32] = {};
  ASSERT_TRUE(SealSerial(reinterpret_cast<const unsigned char*>(secret), 32, again, 32));
  EXPECT_EQ(0, std::memcmp(again, expected, 32));
}

TEST(SealSerialTest, FailsForEmptyInputOrShortOutput) {
  const unsigned char secret[32] = {};
  unsigned char out[32] = {};
  EXPECT_FALSE(SealSerial(secret, 0, out, 32));
  EXPECT_FALSE(SealSerial(secret, 32, out, 31));
}

}  // namespace
