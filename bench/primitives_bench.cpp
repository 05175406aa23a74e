// The library's local work next to its floor: sealing vs a minimal AES, a
// log line vs the bare file calls, identity discovery vs one adapter query;
// and the wire encoder and parser alone.
#include <benchmark/benchmark.h>
#include <ifaddrs.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/crypto.h"
#include "hostinfo/host_identity.h"
#include "log/log.h"
#include "loopback_responder.h"
#include "scratch_directory.h"
#include "seatenrol/wire.h"

namespace {

using seatenrol::bench::ScratchDirectory;

struct Table {
  unsigned char bytes[256];
};

constexpr unsigned char Times2(unsigned char b) {
  return static_cast<unsigned char>((b << 1) ^ ((b & 0x80) ? 0x1B : 0));
}

// The S-box from its definition (inverse in GF(2^8), then the affine map),
// computed once by the compiler.
constexpr Table MakeSbox() {
  Table box{};
  unsigned char p = 1, q = 1;
  do {
    p = static_cast<unsigned char>(p ^ (p << 1) ^ ((p & 0x80) ? 0x1B : 0));
    q ^= static_cast<unsigned char>(q << 1);
    q ^= static_cast<unsigned char>(q << 2);
    q ^= static_cast<unsigned char>(q << 4);
    if (q & 0x80) q ^= 0x09;
    const auto rotl = [](unsigned char x, int n) {
      return static_cast<unsigned char>((x << n) | (x >> (8 - n)));
    };
    box.bytes[p] =
        static_cast<unsigned char>(q ^ rotl(q, 1) ^ rotl(q, 2) ^ rotl(q, 3) ^ rotl(q, 4) ^ 0x63);
  } while (p != 1);
  box.bytes[0] = 0x63;
  return box;
}

constexpr Table kSbox = MakeSbox();

// A minimal byte-oriented AES-128 with fixed tables, the floor of the
// sealing: the same key expansion and two blocks of ECB, nothing rebuilt.
class MinimalAes128 {
public:
  explicit MinimalAes128(const unsigned char (&key)[16]) {
    std::memcpy(m_roundKeys, key, 16);
    unsigned char rcon = 1;
    for (int i = 16; i < 176; i += 4) {
      unsigned char t[4] = {m_roundKeys[i - 4], m_roundKeys[i - 3], m_roundKeys[i - 2],
                            m_roundKeys[i - 1]};
      if (i % 16 == 0) {
        const unsigned char first = t[0];
        t[0] = static_cast<unsigned char>(kSbox.bytes[t[1]] ^ rcon);
        t[1] = kSbox.bytes[t[2]];
        t[2] = kSbox.bytes[t[3]];
        t[3] = kSbox.bytes[first];
        rcon = Times2(rcon);
      }
      for (int j = 0; j < 4; ++j) m_roundKeys[i + j] = m_roundKeys[i - 16 + j] ^ t[j];
    }
  }

  void EncryptBlock(const unsigned char* in, unsigned char* out) const {
    unsigned char s[16];
    for (int i = 0; i < 16; ++i) s[i] = in[i] ^ m_roundKeys[i];
    for (int round = 1; round <= 10; ++round) {
      unsigned char t[16];
      // SubBytes and ShiftRows together: column-major state, row r moves left by r.
      for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) t[4 * c + r] = kSbox.bytes[s[4 * ((c + r) % 4) + r]];
      }
      if (round < 10) {
        for (int c = 0; c < 4; ++c) {
          unsigned char* col = t + 4 * c;
          const unsigned char a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
          col[0] = static_cast<unsigned char>(Times2(a0) ^ Times2(a1) ^ a1 ^ a2 ^ a3);
          col[1] = static_cast<unsigned char>(a0 ^ Times2(a1) ^ Times2(a2) ^ a2 ^ a3);
          col[2] = static_cast<unsigned char>(a0 ^ a1 ^ Times2(a2) ^ Times2(a3) ^ a3);
          col[3] = static_cast<unsigned char>(Times2(a0) ^ a0 ^ a1 ^ a2 ^ Times2(a3));
        }
      }
      for (int i = 0; i < 16; ++i) s[i] = t[i] ^ m_roundKeys[16 * round + i];
    }
    std::memcpy(out, s, 16);
  }

private:
  unsigned char m_roundKeys[176];
};

void BM_MinimalAesEcb(benchmark::State& state) {
  unsigned char secret[32];
  for (std::size_t i = 0; i < sizeof secret; ++i) secret[i] = static_cast<unsigned char>(i);
  unsigned char sealed[32];
  for (auto _ : state) {
    const MinimalAes128 aes(seatenrol::kSealingKey);
    aes.EncryptBlock(secret, sealed);
    aes.EncryptBlock(secret + 16, sealed + 16);
    benchmark::DoNotOptimize(sealed);
    benchmark::ClobberMemory();
  }
  // Both sides must seal alike, or the comparison means nothing.
  unsigned char library[32];
  if (!seatenrol::SealSerial(secret, 32, library, 32) || std::memcmp(library, sealed, 32) != 0) {
    state.SkipWithError("the minimal AES disagrees with SealSerial");
  }
}
BENCHMARK(BM_MinimalAesEcb);

void BM_SealSerial(benchmark::State& state) {
  unsigned char secret[32];
  for (std::size_t i = 0; i < sizeof secret; ++i) secret[i] = static_cast<unsigned char>(i);
  unsigned char sealed[32];
  for (auto _ : state) {
    benchmark::DoNotOptimize(seatenrol::SealSerial(secret, 32, sealed, 32));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SealSerial);

struct LogFixture {
  ScratchDirectory scratch;
  std::string line;  // the bytes one WriteLog call appends
  const char* message = "objRegisterSession.Register\xd7\xa2\xb2\xe1\xca\xa7\xb0\xdc\n";

  LogFixture() {
    seatenrol::SetLogDirectory(scratch.Path().c_str());
    seatenrol::SetLogTag("350102030405");
    // The first line pays for the identity discovery; the benchmark times
    // the lines after it, as a running seat writes them.
    seatenrol::WriteLog(message);
    const std::string path = scratch.File("terminal_.log");
    struct stat before {};
    stat(path.c_str(), &before);
    seatenrol::WriteLog(message);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f != nullptr) {
      std::fseek(f, static_cast<long>(before.st_size), SEEK_SET);
      char buffer[1100];
      const std::size_t n = std::fread(buffer, 1, sizeof buffer, f);
      line.assign(buffer, n);
      std::fclose(f);
    }
  }
  ~LogFixture() { seatenrol::SetLogDirectory(nullptr); }
};

void BM_WriteLog(benchmark::State& state) {
  LogFixture fixture;
  for (auto _ : state) {
    if (seatenrol::WriteLog(fixture.message) != 1) {
      state.SkipWithError("WriteLog failed");
      break;
    }
  }
  state.counters["line_bytes"] = static_cast<double>(fixture.line.size());
}
BENCHMARK(BM_WriteLog);

// The floor: the size check, open, write and close that every line needs.
void BM_BareLogLine(benchmark::State& state) {
  LogFixture fixture;
  const std::string path = fixture.scratch.File("bare.log");
  for (auto _ : state) {
    struct stat status {};
    if (stat(path.c_str(), &status) == 0 && status.st_size > 1048576) std::remove(path.c_str());
    std::FILE* f = std::fopen(path.c_str(), "a+b");
    if (f == nullptr) {
      state.SkipWithError("fopen failed");
      break;
    }
    std::fwrite(fixture.line.data(), 1, fixture.line.size(), f);
    std::fclose(f);
  }
  state.counters["line_bytes"] = static_cast<double>(fixture.line.size());
}
BENCHMARK(BM_BareLogLine);

void BM_Getifaddrs(benchmark::State& state) {
  for (auto _ : state) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
      state.SkipWithError("getifaddrs failed");
      break;
    }
    benchmark::DoNotOptimize(list);
    freeifaddrs(list);
  }
}
BENCHMARK(BM_Getifaddrs);

void BM_GetSystemIPUncached(benchmark::State& state) {
  for (auto _ : state) {
    seatenrol::CHostIdentity identity;  // empty, so the discovery runs in full
    benchmark::DoNotOptimize(identity.GetSystemIP());
  }
}
BENCHMARK(BM_GetSystemIPUncached);

void BM_GetSystemMac(benchmark::State& state) {
  unsigned char mac[6];
  for (auto _ : state) {
    seatenrol::CHostIdentity identity;
    std::memset(mac, 0, sizeof mac);
    benchmark::DoNotOptimize(identity.GetSystemMac(mac, sizeof mac));
  }
}
BENCHMARK(BM_GetSystemMac);

void BM_EncodeRequest(benchmark::State& state) {
  CPSCRegisterCommand request;
  unsigned char venue[20] = "350102030405";
  request.SetCompanyID(venue, sizeof venue);
  request.SetLocalIP("192.168.1.10");
  CBuf buf;
  buf.Alloc(1024);
  for (auto _ : state) {
    buf.Reset();
    benchmark::DoNotOptimize(request.GetByteBuf(buf));
  }
}
BENCHMARK(BM_EncodeRequest);

void BM_ParseResponse(benchmark::State& state) {
  const std::vector<unsigned char> reply = seatenrol::bench::AcceptingReply();
  CBuf buf;
  buf.Alloc(1024);
  buf.Append(reply.data(), static_cast<unsigned int>(reply.size()));
  for (auto _ : state) {
    CResponseCommandReg response;
    benchmark::DoNotOptimize(response.Create(&buf));
    benchmark::DoNotOptimize(response.GetP2PError()->GetErrorInfo());
  }
}
BENCHMARK(BM_ParseResponse);

}  // namespace
