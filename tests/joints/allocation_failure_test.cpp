// Every exported entry that allocates, run again and again with one more of
// its allocations failing each time, until a run passes without one: no
// exception may reach the host, and every descriptor taken is given back.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>

#include "joints_support.h"
#include "loopback_responder.h"
#include "seatenrol/seatenrol.h"

namespace {

// The allocation of the armed thread that fails: counted down from n, 0 when
// none is armed. Other threads (the test's server) allocate undisturbed.
thread_local long allocationsBeforeFailure = 0;
thread_local bool failureInjected = false;

bool AllocationFails() {
  if (allocationsBeforeFailure <= 0 || --allocationsBeforeFailure > 0) return false;
  failureInjected = true;
  return true;
}

void* Allocate(std::size_t size) {
  if (AllocationFails()) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

void* AllocateOrThrow(std::size_t size) {
  if (void* block = Allocate(size)) return block;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace {

using seatenrol_test::OpenDescriptors;
using seatenrol_test::ScratchDirectory;

unsigned char venue[20] = "330106000001";
unsigned char secret[32] = "an enrolment secret";
unsigned char loopback[] = "127.0.0.1";

void Sink(const char*, void*) {}

// One exported entry, run the way a host would call it.
struct Entry {
  const char* name;
  void (*run)(int serverPort);
};

void PrintTo(const Entry& entry, std::ostream* out) { *out << entry.name; }

const Entry kEntries[] = {
    {"RegisterServer",
     [](int port) {
       CRegisterSession session;
       session.RegisterServer(venue, secret, loopback, port);
     }},
    {"Register",
     [](int port) {
       CRegisterSession session;
       RegError result;
       session.Init();
       session.Register(result, venue, secret, loopback, port);
     }},
    {"CreateError",
     [](int) {
       RegError error;
       CreateError(&error);
     }},
    {"TavConfigReadWrite",
     [](int) {
       CTavConfig config;
       ST_REGISTERINFO_LIST list;
       std::memset(&list, 0, sizeof list);
       config.ReadRegAddrs(list);
       config.WriteRegAddrs(list);
     }},
    {"SetDebugSink",
     [](int) {
       SeatenrolSetDebugSink(Sink, nullptr);
       SeatenrolSetDebugSink(nullptr, nullptr);
     }},
    {"seatenrol_enrol",
     [](int port) {
       seatenrol_enrolment result{sizeof result, 0, 0, {}, {}, 0};
       seatenrol_enrol(reinterpret_cast<const char*>(venue), secret, "127.0.0.1", port, &result);
     }},
    {"seatenrol_enrol_with",
     [](int port) {
       // A name, a deadline and a cancel: the lookup runs on a thread of its own.
       seatenrol_cancel* cancel = seatenrol_cancel_create();
       seatenrol_options options{sizeof options, 0, 2, 5000, cancel, nullptr, nullptr};
       seatenrol_enrolment result{sizeof result, 0, 0, {}, {}, 0};
       seatenrol_enrol_with(reinterpret_cast<const char*>(venue), secret, "localhost", port,
                            &options, &result);
       seatenrol_cancel_destroy(cancel);
     }},
    {"seatenrol_get_identity",
     [](int) {
       seatenrol_identity identity{sizeof identity, 0, 0, {}, {}, {}, {}};
       seatenrol_get_identity(&identity);
     }},
    {"seatenrol_list_and_forget",
     [](int port) {
       seatenrol_server servers[2];
       std::int32_t count = 0;
       seatenrol_list_servers(servers, 2, &count, nullptr);
       seatenrol_forget_server("127.0.0.1", port);
       seatenrol_forget_all();
       char path[512];
       seatenrol_store_path(path, sizeof path, nullptr);
     }},
};

class AllocationFailure : public ::testing::TestWithParam<Entry> {};

TEST_P(AllocationFailure, NeitherThrowsNorKeepsADescriptor) {
  ScratchDirectory directory;
  seatenrol::bench::LoopbackResponder server;
  ASSERT_NE(server.Port(), 0);
  const Entry& entry = GetParam();
  entry.run(server.Port());  // what is made once per process is made now
  const int descriptors = OpenDescriptors();
  constexpr long kLimit = 100000;
  long n = 1;
  for (; n < kLimit; ++n) {
    failureInjected = false;
    allocationsBeforeFailure = n;
    bool escaped = false;
    try {
      entry.run(server.Port());
    } catch (...) {
      escaped = true;
    }
    allocationsBeforeFailure = 0;
    ASSERT_FALSE(escaped) << "an exception left " << entry.name << " at allocation " << n;
    ASSERT_EQ(OpenDescriptors(), descriptors) << entry.name << " failing allocation " << n;
    if (!failureInjected) break;
  }
  EXPECT_LT(n, kLimit);
}

INSTANTIATE_TEST_SUITE_P(Entries, AllocationFailure, ::testing::ValuesIn(kEntries),
                         [](const ::testing::TestParamInfo<Entry>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
