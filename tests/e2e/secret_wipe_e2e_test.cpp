// After an enrolment and the caller's own wipe, the caller's secret is
// nowhere in the process's readable memory: not in the heap, not in the
// enrolling thread's stack once it has ended, nor while it waits. Nor is the
// credential the server granted, once the caller has wiped the results that
// carried it: the enrolment's and the listing's. (The stored file's pages
// are the system's cache, not the process's memory.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "e2e_support.h"
#include "seatenrol/c_api.h"
#include "seatenrol/session.h"

namespace seatenrol_test {
namespace {

const char kVenue[] = "440106123456";
constexpr std::size_t kSecretSize = 32;
// The scanner keeps the secret only masked, so its own copy never matches.
constexpr unsigned char kMask = 0x5C;
constexpr std::size_t kChunk = 1 << 20;

// The caller's secret: random bytes, which no other memory holds by chance.
struct CallerSecret {
  seatenrol::VenueSecret bytes;
  unsigned char masked[kSecretSize];

  CallerSecret() {
    std::random_device random;
    for (std::size_t i = 0; i < kSecretSize; ++i) {
      bytes[i] = static_cast<unsigned char>(random());
      masked[i] = bytes[i] ^ kMask;
    }
  }
  void Wipe() { explicit_bzero(bytes.data(), bytes.size()); }
};

// Where the secret is found in readable memory, as "address (mapping)"
// texts; empty when nowhere.
class MemoryScan {
public:
  MemoryScan() {
    // A mapping of its own, which the scan passes over: it holds what was
    // read last.
    void* area = mmap(nullptr, kChunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    m_buffer = area == MAP_FAILED ? nullptr : static_cast<unsigned char*>(area);
  }
  ~MemoryScan() {
    if (m_buffer != nullptr) munmap(m_buffer, kChunk);
  }

  bool Ready() const { return m_buffer != nullptr; }

  std::string Find(const unsigned char (&masked)[kSecretSize]) {
    std::ifstream maps("/proc/self/maps");
    const int memory = open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    std::string found;
    std::string line;
    while (memory >= 0 && std::getline(maps, line)) {
      std::uintptr_t start = 0;
      std::uintptr_t end = 0;
      char permissions[5] = {};
      if (std::sscanf(line.c_str(), "%jx-%jx %4s", reinterpret_cast<std::uintmax_t*>(&start),
                      reinterpret_cast<std::uintmax_t*>(&end), permissions) != 3 ||
          permissions[0] != 'r' || start == reinterpret_cast<std::uintptr_t>(m_buffer)) {
        continue;
      }
      found += ScanRange(memory, start, end, masked, line);
    }
    if (memory >= 0) close(memory);
    return found;
  }

private:
  std::string ScanRange(int memory, std::uintptr_t start, std::uintptr_t end,
                        const unsigned char (&masked)[kSecretSize], const std::string& mapping) {
    std::string found;
    // Chunks overlap by the secret's length less one, so none is missed at a seam.
    for (std::uintptr_t at = start; at < end; at += kChunk - (kSecretSize - 1)) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uintptr_t>(kChunk, end - at));
      const ssize_t got = pread(memory, m_buffer, want, static_cast<off_t>(at));
      if (got < static_cast<ssize_t>(kSecretSize)) break;  // [vvar] and the like
      for (std::size_t i = 0; i + kSecretSize <= static_cast<std::size_t>(got); ++i) {
        std::size_t k = 0;
        while (k < kSecretSize && (m_buffer[i + k] ^ kMask) == masked[k]) ++k;
        if (k == kSecretSize) {
          std::ostringstream where;
          where << std::hex << (at + i) << " in " << mapping << "\n";
          found += where.str();
        }
      }
      if (at + want >= end) break;
    }
    return found;
  }

  unsigned char* m_buffer;
};

class SecretWipe : public ::testing::Test {
protected:
  void SetUp() override {
    // The plain build's run is the one that proves the wipes.
    if (kAddressSanitizer) GTEST_SKIP() << "the memory scan cannot cross AddressSanitizer's shadow";
    unsigned char mac[6];
    if (!SeatMac(mac)) GTEST_SKIP() << "this host shows no IPv4 address or adapter to enrol";
    ASSERT_TRUE(m_scan.Ready());
  }

  // Enrols with the caller's secret on the calling thread, from a frame
  // 16 KB below the caller's: what the thread does afterwards (park, end)
  // runs higher up and leaves the enrolment's dead frames as they were.
  [[gnu::noinline]] static int Enrol(const CallerSecret& secret, int port) {
    volatile unsigned char distance[16384];
    distance[0] = 0;
    seatenrol_enrolment result{};
    result.size = sizeof result;
    return seatenrol_enrol(kVenue, secret.bytes.data(), "127.0.0.1", port, &result) + distance[0];
  }

  // Enrols as Enrol does and keeps the credential only masked: the result
  // that carried it is wiped, as a careful caller would.
  [[gnu::noinline]] static int EnrolForCredential(const CallerSecret& secret, int port,
                                                  unsigned char (&masked)[kSecretSize]) {
    volatile unsigned char distance[16384];
    distance[0] = 0;
    seatenrol_enrolment result{};
    result.size = sizeof result;
    const int outcome = seatenrol_enrol(kVenue, secret.bytes.data(), "127.0.0.1", port, &result);
    for (std::size_t i = 0; i < kSecretSize; ++i) masked[i] = result.credential[i] ^ kMask;
    explicit_bzero(&result, sizeof result);
    return outcome + distance[0];
  }

  // Whether the stored list lists the credential alone; the caller's copy
  // is found before it is wiped, so any other would be.
  [[gnu::noinline]] bool ListsOnly(const unsigned char (&masked)[kSecretSize]) {
    seatenrol_server servers[2] = {};
    std::int32_t count = 0;
    bool listed = seatenrol_list_servers(servers, 2, &count, nullptr) == SEATENROL_OK && count == 1;
    for (std::size_t i = 0; i < kSecretSize; ++i) {
      listed = listed && (servers[0].credential[i] ^ kMask) == masked[i];
    }
    listed = listed && m_scan.Find(masked) != "";
    explicit_bzero(servers, sizeof servers);
    return listed;
  }

  // The same through the C++ session, which the host keeps.
  [[gnu::noinline]] static bool RegisterServer(CRegisterSession& session, CallerSecret& secret,
                                               int port) {
    volatile unsigned char distance[16384];
    distance[0] = 0;
    unsigned char venue[20] = "440106123456";
    unsigned char server[] = "127.0.0.1";
    return session.RegisterServer(venue, secret.bytes.data(), server, port) && distance[0] == 0;
  }

  ScopedStoreDirectory m_store;
  MemoryScan m_scan;
};

TEST_F(SecretWipe, NoCopyOfTheSecretOutlivesTheEnrolment) {
  const auto secret = std::make_unique<CallerSecret>();
  ServerProcess server(m_store, VenueLine(kVenue, secret->bytes));
  ASSERT_TRUE(server.Ready());
  // The scan finds the caller's own copy, so it would find any other.
  ASSERT_NE(m_scan.Find(secret->masked), "");

  int finished = -1;
  std::thread([&] { finished = Enrol(*secret, server.Port()); }).join();
  ASSERT_EQ(finished, SEATENROL_OK);

  // A second thread enrols, then waits with its stack as the enrolment left it.
  std::mutex lock;
  std::condition_variable changed;
  bool parked = false;
  bool release = false;
  int waiting = -1;
  std::thread parker([&] {
    const int outcome = Enrol(*secret, server.Port());
    std::unique_lock<std::mutex> hold(lock);
    waiting = outcome;
    parked = true;
    changed.notify_all();
    changed.wait(hold, [&] { return release; });
  });
  {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait(hold, [&] { return parked; });
  }
  EXPECT_EQ(waiting, SEATENROL_OK);
  secret->Wipe();
  EXPECT_EQ(m_scan.Find(secret->masked), "") << "while an enrolled thread waits";
  {
    std::lock_guard<std::mutex> hold(lock);
    release = true;
  }
  changed.notify_all();
  parker.join();
  EXPECT_EQ(m_scan.Find(secret->masked), "") << "after both enrolling threads ended";
}

TEST_F(SecretWipe, NoCopyOfTheCredentialOutlivesTheCallersOwn) {
  const auto secret = std::make_unique<CallerSecret>();
  ServerProcess server(m_store, VenueLine(kVenue, secret->bytes));
  ASSERT_TRUE(server.Ready());
  unsigned char masked[kSecretSize] = {};
  // Twice: the second reads the list the first stored, and keeps it as the backup.
  for (int i = 0; i < 2; ++i) {
    int outcome = -1;
    std::thread([&] { outcome = EnrolForCredential(*secret, server.Port(), masked); }).join();
    ASSERT_EQ(outcome, SEATENROL_OK);
  }
  secret->Wipe();
  EXPECT_EQ(m_scan.Find(masked), "") << "after the enrolments";
  EXPECT_TRUE(ListsOnly(masked));
  EXPECT_EQ(m_scan.Find(masked), "") << "after the listing";
}

TEST_F(SecretWipe, ASessionTheHostKeepsHoldsNoCopy) {
  const auto secret = std::make_unique<CallerSecret>();
  ServerProcess server(m_store, VenueLine(kVenue, secret->bytes));
  ASSERT_TRUE(server.Ready());
  const auto session = std::make_unique<CRegisterSession>();
  ASSERT_TRUE(RegisterServer(*session, *secret, server.Port()));
  secret->Wipe();
  EXPECT_EQ(m_scan.Find(secret->masked), "");
}

}  // namespace
}  // namespace seatenrol_test
