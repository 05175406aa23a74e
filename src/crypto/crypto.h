// AES (FIPS-197) and the fixed-key sealing of the caller's secret.
#ifndef SEATENROL_CRYPTO_CRYPTO_H
#define SEATENROL_CRYPTO_CRYPTO_H

namespace seatenrol {

// The sealing key: these 16 characters, without a terminator.
constexpr unsigned char kSealingKey[16] = {'q', '8', '#', 'L', 'm', '2', '!', 'v',
                                           'R', '5', '^', 't', 'w', '0', '.', 'z'};

// A byte-oriented AES with 128, 192 and 256-bit keys. Results: 0 success,
// negative failure; Encrypt and Decrypt return the bytes written.
class CAesCipher {
public:
  CAesCipher();
  virtual ~CAesCipher();
  CAesCipher(const CAesCipher&) = delete;
  CAesCipher& operator=(const CAesCipher&) = delete;

  // 0 keyed; -1 no memory for the key copy; -2 length not 16, 24 or 32.
  int SetKey(int length, const unsigned char* key);
  int EncryptBlock(const unsigned char* in, unsigned char* out);
  int DecryptBlock(const unsigned char* in, unsigned char* out);
  // ECB over ceil(length / 16) blocks, the last one zero-filled; the bytes
  // written, or -1 when capacity is too small (nothing written).
  int Encrypt(const unsigned char* input, int length, unsigned char* output, int capacity);
  // The inverse of Encrypt over whole blocks; -1 when length is not a
  // multiple of 16 or capacity is too small.
  int Decrypt(const unsigned char* input, int length, unsigned char* output, int capacity);

private:
  void Forget();
  void ExpandKey();
  void AddRoundKey(int round);
  void SubBytes(const unsigned char* box);
  void ShiftRows();
  void InvShiftRows();
  void MixColumns();
  void InvMixColumns();
  void LoadState(const unsigned char* in);
  void StoreState(unsigned char* out) const;

  int m_Nb;
  int m_Nk;
  int m_Nr;
  unsigned char* m_key;  // Nk * 4 bytes once keyed, owned
  unsigned char m_schedule[60][4];
  unsigned char m_roundConstants[11][4];
  unsigned char m_state[4][4];  // state[row][column]
  unsigned char m_sbox[256];
  unsigned char m_invSbox[256];
  unsigned char m_times2[256];
  unsigned char m_times3[256];
  unsigned char m_times9[256];
  unsigned char m_times11[256];
  unsigned char m_times13[256];
  unsigned char m_times14[256];
};

// Encrypts input under kSealingKey; true when more than zero bytes came out.
bool SealSerial(const unsigned char* input, int length, unsigned char* output, int capacity);

}  // namespace seatenrol

#endif
