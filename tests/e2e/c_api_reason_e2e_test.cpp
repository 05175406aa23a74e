// The C interface's result for callers of either size, the system's reason
// beside the outcome, and the folders a host chooses for the list and the log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "net_test_util.h"
#include "seatenrol/c_api.h"

namespace seatenrol_test {
namespace {

namespace fs = std::filesystem;

const char kVenue[] = "440106123456";
constexpr std::size_t kFirstSize = offsetof(seatenrol_enrolment, system_error);

class CInterfaceReason : public ::testing::Test {
protected:
  void SetUp() override {
    unsigned char mac[6];
    if (!SeatMac(mac)) GTEST_SKIP() << "this host shows no IPv4 address or adapter to enrol";
  }
  void TearDown() override {
    seatenrol_set_store_directory(nullptr);
    seatenrol_set_log_directory(nullptr);
  }

  std::string Folder(const std::string& name) const {
    const std::string path = m_store.Path() + "/" + name;
    fs::create_directories(path);
    return path;
  }

  static std::string StorePath() {
    char path[4096] = {};
    return seatenrol_store_path(path, sizeof path, nullptr) == SEATENROL_OK ? path : "";
  }

  static int Listed() {
    int32_t count = -1;
    return seatenrol_list_servers(nullptr, 0, &count, nullptr) == SEATENROL_OK ? count : -1;
  }

  ScopedStoreDirectory m_store;
  const seatenrol::VenueSecret m_secret = MakeSecret(3);
  const std::string m_venues = VenueLine(kVenue, m_secret);
};

// A caller's record is written as far as its size covers what the library
// knows, never further.
TEST_F(CInterfaceReason, EachSizeGetsTheFieldsItCovers) {
  ServerProcess server(m_store, m_venues);
  ASSERT_TRUE(server.Ready());
  const int closed = UnusedLoopbackPort();
  struct Case {
    std::uint32_t size;
    bool reachable;
    int outcome;
    std::size_t written;  // bytes the call may change, size field included
    int systemError;      // the thread's, and the record's where it has the field
  } cases[] = {
      {59, true, SEATENROL_BAD_ARGUMENT, 4, 0},
      {60, true, SEATENROL_OK, 60, 0},
      {60, false, SEATENROL_PORT_UNREACHABLE, 60, ECONNREFUSED},
      {64, true, SEATENROL_OK, 64, 0},
      {64, false, SEATENROL_PORT_UNREACHABLE, 64, ECONNREFUSED},
      {100, false, SEATENROL_PORT_UNREACHABLE, 64, ECONNREFUSED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + (c.reachable ? " reachable" : " closed"));
    unsigned char bytes[128];
    std::memset(bytes, 0xA5, sizeof bytes);
    std::memcpy(bytes, &c.size, sizeof c.size);
    auto* result = reinterpret_cast<seatenrol_enrolment*>(bytes);
    EXPECT_EQ(seatenrol_enrol(kVenue, m_secret.data(), "127.0.0.1",
                              c.reachable ? server.Port() : closed, result),
              c.outcome);
    for (std::size_t i = c.written; i < sizeof bytes; ++i) ASSERT_EQ(bytes[i], 0xA5) << i;
    if (c.written >= kFirstSize) {
      EXPECT_EQ(result->outcome, c.outcome);
    }
    if (c.written == sizeof(seatenrol_enrolment)) {
      EXPECT_EQ(result->system_error, c.systemError);
    }
    EXPECT_EQ(seatenrol_last_outcome(), c.outcome);
    EXPECT_EQ(seatenrol_last_system_error(), c.systemError);
  }
}

TEST_F(CInterfaceReason, TheSystemsReasonForTheStepThatEndedTheCall) {
  ServerProcess server(m_store, m_venues);
  ASSERT_TRUE(server.Ready());
  seatenrol_enrolment result{};
  result.size = sizeof result;
  // A refusal first: the next call must not keep its reason.
  EXPECT_EQ(seatenrol_enrol(kVenue, m_secret.data(), "127.0.0.1", UnusedLoopbackPort(), &result),
            SEATENROL_PORT_UNREACHABLE);
  EXPECT_EQ(result.system_error, ECONNREFUSED);
  EXPECT_EQ(seatenrol_enrol(kVenue, m_secret.data(), "127.0.0.1", server.Port(), &result),
            SEATENROL_OK);
  EXPECT_EQ(result.system_error, 0);
  EXPECT_EQ(seatenrol_last_system_error(), 0);
  // Arguments refused before anything ran carry no reason either.
  EXPECT_EQ(seatenrol_enrol(kVenue, m_secret.data(), "127.0.0.1", UnusedLoopbackPort(), &result),
            SEATENROL_PORT_UNREACHABLE);
  EXPECT_EQ(seatenrol_enrol(kVenue, nullptr, "127.0.0.1", server.Port(), &result),
            SEATENROL_BAD_ARGUMENT);
  EXPECT_EQ(result.system_error, 0);
  EXPECT_EQ(seatenrol_last_system_error(), 0);
}

// A folder that is a regular file cannot hold the list, whoever runs the test.
// Enabled once the store's own calls record the code they failed with.
TEST_F(CInterfaceReason, DISABLED_AStoreThatCannotBeWrittenNamesTheSystemsReason) {
  ServerProcess server(m_store, m_venues);
  ASSERT_TRUE(server.Ready());
  const std::string file = m_store.WriteFile("not-a-folder", "x");
  setenv("SEATENROL_CONFIG_DIR", file.c_str(), 1);
  seatenrol_enrolment result{};
  result.size = sizeof result;
  const int outcome = seatenrol_enrol(kVenue, m_secret.data(), "127.0.0.1", server.Port(), &result);
  setenv("SEATENROL_CONFIG_DIR", m_store.Path().c_str(), 1);
  EXPECT_EQ(outcome, SEATENROL_STORE_FAILED);
  EXPECT_EQ(result.system_error, ENOTDIR);
  EXPECT_EQ(seatenrol_last_system_error(), ENOTDIR);
}

TEST_F(CInterfaceReason, TheHostChoosesTheFolders) {
  ServerProcess server(m_store, m_venues);
  ASSERT_TRUE(server.Ready());
  const std::string byDefault = StorePath();
  ASSERT_EQ(byDefault, m_store.Path() + "/regaddrs.dat");

  // A folder that does not exist changes nothing.
  const std::string missing = m_store.Path() + "/missing";
  EXPECT_EQ(seatenrol_set_store_directory(missing.c_str()), SEATENROL_BAD_ARGUMENT);
  EXPECT_EQ(seatenrol_set_log_directory(missing.c_str()), SEATENROL_BAD_ARGUMENT);
  EXPECT_EQ(seatenrol_set_store_directory(""), SEATENROL_BAD_ARGUMENT);
  EXPECT_EQ(StorePath(), byDefault);

  const std::string chosen = Folder("chosen");
  ASSERT_EQ(seatenrol_set_store_directory(chosen.c_str()), SEATENROL_OK);
  ASSERT_EQ(seatenrol_set_log_directory(chosen.c_str()), SEATENROL_OK);
  EXPECT_EQ(StorePath(), chosen + "/regaddrs.dat");
  EXPECT_EQ(Listed(), 0);
  seatenrol_enrolment result{};
  result.size = sizeof result;
  ASSERT_EQ(seatenrol_enrol(kVenue, m_secret.data(), "127.0.0.1", server.Port(), &result),
            SEATENROL_OK);
  EXPECT_TRUE(fs::exists(chosen + "/regaddrs.dat"));
  EXPECT_FALSE(fs::exists(byDefault));
  EXPECT_EQ(Listed(), 1);
  // A refusal writes a log line, into the chosen folder.
  const seatenrol::VenueSecret wrong = MakeSecret(4);
  EXPECT_EQ(seatenrol_enrol(kVenue, wrong.data(), "127.0.0.1", server.Port(), &result),
            SEATENROL_REFUSED);
  EXPECT_GT(fs::file_size(chosen + "/terminal_.log"), 0u);

  // NULL restores the defaults.
  EXPECT_EQ(seatenrol_set_store_directory(nullptr), SEATENROL_OK);
  EXPECT_EQ(seatenrol_set_log_directory(nullptr), SEATENROL_OK);
  EXPECT_EQ(StorePath(), byDefault);
  EXPECT_EQ(Listed(), 0);
  const auto logSize = fs::file_size(chosen + "/terminal_.log");
  EXPECT_EQ(seatenrol_enrol(kVenue, wrong.data(), "127.0.0.1", server.Port(), &result),
            SEATENROL_REFUSED);
  EXPECT_EQ(fs::file_size(chosen + "/terminal_.log"), logSize);
}

// Choosing folders from other threads while one enrols: every enrolment
// stores its grant in one of the folders that were chosen.
TEST_F(CInterfaceReason, FoldersChangeSafelyUnderAnEnrolment) {
  ServerProcess server(m_store, m_venues);
  ASSERT_TRUE(server.Ready());
  const std::string folders[] = {Folder("a"), Folder("b")};
  std::atomic<bool> done{false};
  std::vector<std::thread> choosers;
  for (int t = 0; t < 2; ++t) {
    choosers.emplace_back([&, t] {
      for (int i = 0; !done && i < 100000; ++i) {
        const char* folder = i % 3 == 2 ? nullptr : folders[(i + t) % 2].c_str();
        seatenrol_set_store_directory(folder);
        seatenrol_set_log_directory(folder);
      }
    });
  }
  int enrolled = 0;
  for (int i = 0; i < 10; ++i) {
    seatenrol_enrolment result{};
    result.size = sizeof result;
    enrolled += seatenrol_enrol(kVenue, m_secret.data(), "127.0.0.1", server.Port(), &result) ==
                SEATENROL_OK;
  }
  done = true;
  for (std::thread& chooser : choosers) chooser.join();
  EXPECT_EQ(enrolled, 10);
  int stored = 0;
  for (const std::string& folder : {folders[0], folders[1], m_store.Path()}) {
    stored += fs::exists(folder + "/regaddrs.dat");
  }
  EXPECT_GE(stored, 1);
}

}  // namespace
}  // namespace seatenrol_test
