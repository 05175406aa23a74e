#include <cstring>
#include <new>

#include "crypto/crypto.h"
#include "platform/wipe.h"

namespace seatenrol {

namespace {

constexpr int kBlockSize = 16;

// The S-box of FIPS-197; the inverse box is derived from it by the compiler.
constexpr unsigned char kSbox[256] = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76,
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0,
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15,
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75,
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84,
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf,
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8,
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2,
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73,
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb,
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79,
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08,
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a,
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e,
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf,
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16,
};

// Product in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1, by shift-and-add over
// the bits of b from the highest down.
constexpr unsigned char Multiply(unsigned char c, unsigned char b) {
  unsigned int product = 0;
  for (int bit = 7; bit >= 0; --bit) {
    product <<= 1;
    if (product & 0x100) product ^= 0x11b;
    if ((b >> bit) & 1) product ^= c;
  }
  return static_cast<unsigned char>(product);
}

// One byte for every byte value: the products with one factor, or the
// inverse box.
struct ByteTable {
  unsigned char bytes[256];
};

constexpr ByteTable MakeProducts(unsigned char factor) {
  ByteTable table{};
  for (int b = 0; b < 256; ++b) table.bytes[b] = Multiply(factor, static_cast<unsigned char>(b));
  return table;
}

// Multiplied out once by the compiler: each keying fills its own tables with
// copies of these instead of some twelve thousand shift-and-add steps.
constexpr ByteTable kTimes2 = MakeProducts(2);
constexpr ByteTable kTimes3 = MakeProducts(3);
constexpr ByteTable kTimes9 = MakeProducts(9);
constexpr ByteTable kTimes11 = MakeProducts(11);
constexpr ByteTable kTimes13 = MakeProducts(13);
constexpr ByteTable kTimes14 = MakeProducts(14);

constexpr ByteTable MakeInverseSbox() {
  ByteTable table{};
  for (int b = 0; b < 256; ++b) table.bytes[kSbox[b]] = static_cast<unsigned char>(b);
  return table;
}
constexpr ByteTable kInvSbox = MakeInverseSbox();

void FillTable(unsigned char (&table)[256], const ByteTable& bytes) {
  std::memcpy(table, bytes.bytes, sizeof table);
}

// Blocks needed for length bytes, or -1 when the arguments cannot be served.
int BlocksFor(int length, const unsigned char* output, int capacity) {
  // A negative capacity is below 16 x n even for no blocks at all.
  if (length < 0 || capacity < 0) return -1;
  const int blocks = length / kBlockSize + (length % kBlockSize != 0 ? 1 : 0);
  // Compared by division so a length near the int limit cannot overflow.
  if (blocks > 0 && (output == nullptr || capacity / kBlockSize < blocks)) return -1;
  return blocks;
}

}  // namespace

CAesCipher::CAesCipher()
    : m_Nb(0),
      m_Nk(0),
      m_Nr(0),
      m_key(nullptr),
      m_schedule{},
      m_roundConstants{},
      m_state{},
      m_sbox{},
      m_invSbox{},
      m_times2{},
      m_times3{},
      m_times9{},
      m_times11{},
      m_times13{},
      m_times14{} {}

CAesCipher::~CAesCipher() {
  Forget();
  // The state last held a block of the caller's data.
  WipeBytes(m_state, sizeof m_state);
}

void CAesCipher::Forget() {
  if (m_key != nullptr) WipeBytes(m_key, static_cast<std::size_t>(m_Nk) * 4);
  delete[] m_key;
  m_key = nullptr;
  m_Nb = m_Nk = m_Nr = 0;
  WipeBytes(m_schedule, sizeof m_schedule);
}

int CAesCipher::SetKey(int length, const unsigned char* key) {
  // A failed keying leaves the object unkeyed, never holding an older key.
  Forget();
  int nk = 0;
  switch (length) {
    case 16:
      nk = 4;
      break;
    case 24:
      nk = 6;
      break;
    case 32:
      nk = 8;
      break;
    default:
      return -2;
  }
  if (key == nullptr) return -2;
  m_key = new (std::nothrow) unsigned char[static_cast<std::size_t>(nk) * 4];
  if (m_key == nullptr) return -1;
  std::memcpy(m_key, key, static_cast<std::size_t>(length));
  m_Nb = 4;
  m_Nk = nk;
  m_Nr = nk + 6;

  std::memcpy(m_sbox, kSbox, sizeof m_sbox);
  FillTable(m_invSbox, kInvSbox);

  std::memset(m_roundConstants, 0, sizeof m_roundConstants);
  m_roundConstants[1][0] = 0x01;
  for (int i = 2; i <= 10; ++i) m_roundConstants[i][0] = Multiply(2, m_roundConstants[i - 1][0]);

  FillTable(m_times2, kTimes2);
  FillTable(m_times3, kTimes3);
  FillTable(m_times9, kTimes9);
  FillTable(m_times11, kTimes11);
  FillTable(m_times13, kTimes13);
  FillTable(m_times14, kTimes14);

  ExpandKey();
  return 0;
}

void CAesCipher::ExpandKey() {
  std::memset(m_schedule, 0, sizeof m_schedule);
  std::memcpy(m_schedule, m_key, static_cast<std::size_t>(m_Nk) * 4);
  const int words = (m_Nr + 1) * m_Nb;
  for (int i = m_Nk; i < words; ++i) {
    unsigned char temp[4];
    std::memcpy(temp, m_schedule[i - 1], 4);
    if (i % m_Nk == 0) {
      const unsigned char first = temp[0];
      temp[0] = m_sbox[temp[1]];
      temp[1] = m_sbox[temp[2]];
      temp[2] = m_sbox[temp[3]];
      temp[3] = m_sbox[first];
      for (int b = 0; b < 4; ++b) temp[b] ^= m_roundConstants[i / m_Nk][b];
    } else if (m_Nk > 6 && i % m_Nk == 4) {
      for (int b = 0; b < 4; ++b) temp[b] = m_sbox[temp[b]];
    }
    for (int b = 0; b < 4; ++b) m_schedule[i][b] = m_schedule[i - m_Nk][b] ^ temp[b];
  }
}

void CAesCipher::LoadState(const unsigned char* in) {
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) m_state[r][c] = in[r + 4 * c];
}

void CAesCipher::StoreState(unsigned char* out) const {
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) out[r + 4 * c] = m_state[r][c];
}

void CAesCipher::AddRoundKey(int round) {
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) m_state[r][c] ^= m_schedule[4 * round + c][r];
}

void CAesCipher::SubBytes(const unsigned char* box) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m_state[r][c] = box[m_state[r][c]];
}

void CAesCipher::ShiftRows() {
  for (int r = 1; r < 4; ++r) {
    unsigned char row[4];
    for (int c = 0; c < 4; ++c) row[c] = m_state[r][(c + r) % 4];
    std::memcpy(m_state[r], row, 4);
  }
}

void CAesCipher::InvShiftRows() {
  for (int r = 1; r < 4; ++r) {
    unsigned char row[4];
    for (int c = 0; c < 4; ++c) row[(c + r) % 4] = m_state[r][c];
    std::memcpy(m_state[r], row, 4);
  }
}

void CAesCipher::MixColumns() {
  for (int c = 0; c < 4; ++c) {
    const unsigned char s0 = m_state[0][c], s1 = m_state[1][c];
    const unsigned char s2 = m_state[2][c], s3 = m_state[3][c];
    m_state[0][c] = m_times2[s0] ^ m_times3[s1] ^ s2 ^ s3;
    m_state[1][c] = s0 ^ m_times2[s1] ^ m_times3[s2] ^ s3;
    m_state[2][c] = s0 ^ s1 ^ m_times2[s2] ^ m_times3[s3];
    m_state[3][c] = m_times3[s0] ^ s1 ^ s2 ^ m_times2[s3];
  }
}

void CAesCipher::InvMixColumns() {
  for (int c = 0; c < 4; ++c) {
    const unsigned char s0 = m_state[0][c], s1 = m_state[1][c];
    const unsigned char s2 = m_state[2][c], s3 = m_state[3][c];
    m_state[0][c] = m_times14[s0] ^ m_times11[s1] ^ m_times13[s2] ^ m_times9[s3];
    m_state[1][c] = m_times9[s0] ^ m_times14[s1] ^ m_times11[s2] ^ m_times13[s3];
    m_state[2][c] = m_times13[s0] ^ m_times9[s1] ^ m_times14[s2] ^ m_times11[s3];
    m_state[3][c] = m_times11[s0] ^ m_times13[s1] ^ m_times9[s2] ^ m_times14[s3];
  }
}

int CAesCipher::EncryptBlock(const unsigned char* in, unsigned char* out) {
  // An unkeyed object has no schedule to work with.
  if (m_key == nullptr || in == nullptr || out == nullptr) return -1;
  LoadState(in);
  AddRoundKey(0);
  for (int round = 1; round < m_Nr; ++round) {
    SubBytes(m_sbox);
    ShiftRows();
    MixColumns();
    AddRoundKey(round);
  }
  SubBytes(m_sbox);
  ShiftRows();
  AddRoundKey(m_Nr);
  StoreState(out);
  return 0;
}

int CAesCipher::DecryptBlock(const unsigned char* in, unsigned char* out) {
  if (m_key == nullptr || in == nullptr || out == nullptr) return -1;
  LoadState(in);
  AddRoundKey(m_Nr);
  for (int round = m_Nr - 1; round >= 1; --round) {
    InvShiftRows();
    SubBytes(m_invSbox);
    AddRoundKey(round);
    InvMixColumns();
  }
  InvShiftRows();
  SubBytes(m_invSbox);
  AddRoundKey(0);
  StoreState(out);
  return 0;
}

int CAesCipher::Encrypt(const unsigned char* input, int length, unsigned char* output,
                        int capacity) {
  const int blocks = BlocksFor(length, output, capacity);
  if (blocks < 0 || m_key == nullptr || (blocks > 0 && input == nullptr)) return -1;
  for (int i = 0; i < blocks; ++i) {
    const unsigned char* source = input + kBlockSize * i;
    // The last block is zero-filled behind the input so nothing past its end is read.
    unsigned char padded[kBlockSize] = {};
    if (i == blocks - 1) {
      std::memcpy(padded, source, static_cast<std::size_t>(length - kBlockSize * i));
      source = padded;
    }
    unsigned char sealed[kBlockSize];
    EncryptBlock(source, sealed);
    std::memcpy(output + kBlockSize * i, sealed, kBlockSize);
    WipeBytes(padded, sizeof padded);
    WipeBytes(sealed, sizeof sealed);
  }
  return blocks * kBlockSize;
}

int CAesCipher::Decrypt(const unsigned char* input, int length, unsigned char* output,
                        int capacity) {
  if (length % kBlockSize != 0) return -1;
  const int blocks = BlocksFor(length, output, capacity);
  if (blocks < 0 || m_key == nullptr || (blocks > 0 && input == nullptr)) return -1;
  for (int i = 0; i < blocks; ++i) {
    unsigned char plain[kBlockSize];
    DecryptBlock(input + kBlockSize * i, plain);
    std::memcpy(output + kBlockSize * i, plain, kBlockSize);
    WipeBytes(plain, sizeof plain);
  }
  return blocks * kBlockSize;
}

bool SealSerial(const unsigned char* input, int length, unsigned char* output, int capacity) {
  CAesCipher cipher;
  if (cipher.SetKey(sizeof kSealingKey, kSealingKey) != 0) return false;
  return cipher.Encrypt(input, length, output, capacity) > 0;
}

}  // namespace seatenrol
