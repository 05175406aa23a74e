#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "hostinfo/host_identity.h"
#include "log/log.h"
#include "log/messages.h"
#include "platform/os.h"
#include "seatenrol/debug_output.h"
#include "wait_for.h"

namespace seatenrol {
namespace {

namespace fs = std::filesystem;

struct Line {
  bool parsed = false;
  std::string ip, host, tag, message;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// One entry of the file, its line feed already taken off.
Line Parse(const std::string& text) {
  static const std::regex shape(
      R"(^([0-9.]*)\(([^()]*)\)@(.*) ([0-9]{4})-([0-9]{2})-([0-9]{2}) ([0-9]{2}):([0-9]{2}):([0-9]{2}) ([^]*)$)");
  std::smatch match;
  Line line;
  if (!std::regex_match(text, match, shape)) return line;
  line.parsed = true;
  line.ip = match[1];
  line.host = match[2];
  line.tag = match[3];
  line.year = std::stoi(match[4]);
  line.month = std::stoi(match[5]);
  line.day = std::stoi(match[6]);
  line.hour = std::stoi(match[7]);
  line.minute = std::stoi(match[8]);
  line.second = std::stoi(match[9]);
  line.message = match[10];
  return line;
}

std::vector<std::string> SplitLines(const std::string& content) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(content.substr(start, end - start));
  }
  if (start < content.size()) lines.push_back(content.substr(start));
  return lines;
}

class LogFile : public ::testing::Test {
protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    directory_ =
        fs::temp_directory_path() / (std::string("seatenrol-log-") + info->name() + "-" +
                                     std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    fs::remove_all(directory_);
    fs::create_directories(directory_);
    file_ = directory_ / "terminal_.log";
    SetLogDirectory(directory_.string().c_str());
    SetLogTag(nullptr);
  }
  void TearDown() override {
    SetLogDirectory(nullptr);
    SetLogTag(nullptr);
    fs::remove_all(directory_);
  }

  std::string Content() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  void Fill(std::size_t size) const {
    std::ofstream out(file_, std::ios::binary);
    out << std::string(size, 'x');
  }

  fs::path directory_;
  fs::path file_;
};

TEST_F(LogFile, LineNamesTheSeatTheVenueAndTheTime) {
  CHostIdentity identity;
  const char* ip = identity.GetSystemIP();
  char host[256] = {};
  identity.GetHostName(reinterpret_cast<unsigned char*>(host), 255);

  SetLogTag("440106000123");
  ASSERT_EQ(WriteLog("enrolled\n\n"), 1);
  const std::string content = Content();
  std::printf("%s", content.c_str());

  // The message is written unchanged: its own two line feeds follow the line's.
  ASSERT_GE(content.size(), 11u);
  EXPECT_EQ(content.substr(content.size() - 11), "enrolled\n\n\n");
  const Line line = Parse(SplitLines(content)[0]);
  ASSERT_TRUE(line.parsed) << content;
  EXPECT_EQ(line.ip, ip == nullptr ? "" : ip);
  EXPECT_EQ(line.host, host);
  EXPECT_LE(line.host.size(), 20u);
  EXPECT_EQ(line.tag, "440106000123");
  EXPECT_EQ(line.message, "enrolled");
  EXPECT_TRUE(line.month >= 1 && line.month <= 12 && line.day >= 1 && line.day <= 31);
  EXPECT_TRUE(line.hour <= 23 && line.minute <= 59 && line.second <= 60);
}

TEST_F(LogFile, TagIsCutToSixtyThreeCharactersAndNullEmptiesIt) {
  const std::string seventy(70, 'T');
  struct {
    const char* tag;
    std::string shown;
  } cases[] = {
      {"V1", "V1"},
      {nullptr, ""},
      {seventy.c_str(), std::string(63, 'T')},
      {"", ""},
  };
  for (const auto& c : cases) {
    SetLogTag("stale");
    EXPECT_EQ(SetLogTag(c.tag), 1);
    ASSERT_EQ(WriteLog("tagged"), 1);
    const std::vector<std::string> lines = SplitLines(Content());
    const Line line = Parse(lines.back());
    ASSERT_TRUE(line.parsed) << lines.back();
    EXPECT_EQ(line.tag, c.shown);
  }
}

TEST_F(LogFile, FileLargerThanOneMebibyteStartsAfresh) {
  struct {
    std::size_t size;
    bool kept;
  } cases[] = {{1048576, true}, {1048577, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    Fill(c.size);
    ASSERT_EQ(WriteLog("after the limit\n"), 1);
    const std::string content = Content();
    const std::string added = c.kept ? content.substr(c.size) : content;
    EXPECT_EQ(content.size() > c.size, c.kept);
    if (c.kept) {
      EXPECT_EQ(content.find_first_not_of('x'), c.size);
    }
    const std::vector<std::string> lines = SplitLines(added);
    ASSERT_EQ(lines.size(), 2u);  // the entry and the empty line of its own line feed
    EXPECT_EQ(Parse(lines[0]).message, "after the limit");
  }
}

TEST_F(LogFile, LongLineIsCutAtByte1023WithoutItsLineFeed) {
  ASSERT_EQ(WriteLog(std::string(2000, 'a').c_str()), 1);
  const std::string first = Content();
  ASSERT_EQ(first.size(), 1023u);
  EXPECT_EQ(first.back(), 'a');

  ASSERT_EQ(WriteLog("next"), 1);
  const std::string both = Content();
  EXPECT_EQ(both.compare(0, 1023, first), 0);
  const std::vector<std::string> lines = SplitLines(both);
  ASSERT_EQ(lines.size(), 1u);  // the next entry goes on in the same text line
  EXPECT_EQ(Parse(lines[0].substr(1023)).message, "next");
}

TEST_F(LogFile, NothingIsWrittenWithoutMessageOrWritableFile) {
  EXPECT_EQ(WriteLog(nullptr), 0);
  EXPECT_FALSE(fs::exists(file_));
  SetLogDirectory((directory_ / "missing").string().c_str());
  EXPECT_EQ(WriteLog("lost"), 0);
  EXPECT_FALSE(fs::exists(directory_ / "missing"));
}

TEST_F(LogFile, LinesOfTwoThreadsNeverInterleave) {
  constexpr int kLines = 200;
  const std::string a(300, 'A');
  const std::string b(500, 'B');
  auto writer = [](const std::string& message) {
    for (int i = 0; i < kLines; ++i) WriteLog(message.c_str());
  };
  std::thread first(writer, a);
  std::thread second(writer, b);
  first.join();
  second.join();

  int seenA = 0;
  int seenB = 0;
  for (const std::string& text : SplitLines(Content())) {
    const Line line = Parse(text);
    ASSERT_TRUE(line.parsed) << text;
    if (line.message == a) {
      ++seenA;
    } else if (line.message == b) {
      ++seenB;
    } else {
      ADD_FAILURE() << "broken line: " << text;
    }
  }
  EXPECT_EQ(seenA, kLines);
  EXPECT_EQ(seenB, kLines);
}

#if !defined(_WIN32)
void Collect(const char* text, void* context) { *static_cast<std::string*>(context) += text; }

TEST_F(LogFile, ApiFailureReportsTheErrorToDebuggerAndLog) {
  // A code the system has no text for gives an empty text, not the C
  // library's made-up "Unknown error N": the report then ends with ": ".
  const struct {
    int code;
    std::string systemText;
  } cases[] = {
      {ENOENT, std::string(std::strerror(ENOENT)) + "\n"},
      {100000, ""},
      {-7, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    std::string debugger;
    SeatenrolSetDebugSink(Collect, &debugger);
    errno = c.code;
    const int written = ReportApiFailure("ReadConfig");
    SeatenrolSetDebugSink(nullptr, nullptr);
    ASSERT_EQ(written, 1);

    char expected[1024];
    std::snprintf(expected, sizeof expected, messages::kApiFailureFormat, "ReadConfig", c.code,
                  c.systemText.c_str());
    EXPECT_EQ(debugger, expected);
    const std::string content = Content();
    ASSERT_GE(content.size(), debugger.size() + 1);
    EXPECT_EQ(content.substr(content.size() - debugger.size() - 1), debugger + "\n");
  }

  EXPECT_EQ(ReportApiFailure(nullptr), 1);
}
#endif

TEST(LogPath, BesideTheExecutableWhenItFits) {
  const std::string s(1, kPathSeparator);
  const std::string longest(245, 'd');
  const std::string tooLong(246, 'd');
  struct {
    std::string executable;
    bool built;
    std::string path;
  } cases[] = {
      {s + "opt" + s + "seat" + s + "terminal.exe", true,
       s + "opt" + s + "seat" + s + "terminal_.log"},
      {longest + s + "t.exe", true, longest + s + "terminal_.log"},
      {tooLong + s + "t.exe", false, ""},
      {"terminal.exe", false, ""},
  };
  for (const auto& c : cases) {
    char path[kLogPathSize];
    std::memset(path, '#', sizeof path);
    EXPECT_EQ(LogPathBeside(c.executable.c_str(), path), c.built) << c.executable;
    if (c.built) {
      EXPECT_EQ(std::string(path), c.path);
    } else {
      EXPECT_EQ(path[0], '#');
    }
  }
  char path[kLogPathSize];
  EXPECT_FALSE(LogPathBeside(nullptr, path));
}

// The seat's identity is found outside the log lock: while one thread's first
// line waits in a slow name lookup, another thread's line is written.
TEST_F(LogFile, ASlowIdentityLookUpHoldsUpNoOtherLine) {
  std::atomic<bool> release{false};
  std::atomic<int> lookups{0};
  HostSystem system;
  system.hostName = [](char(&name)[kHostNameBufferSize]) {
    std::strcpy(name, "seat-07");
    return true;
  };
  system.hostEntry = [&](const char*, HostEntry& entry) {
    if (lookups++ == 0) WaitFor([&release] { return release.load(); });
    entry.addresses = {0x0A000007u};
    entry.texts = {"10.0.0.7"};
    return true;
  };
  system.adapters = [](std::vector<AdapterRecord>&) { return false; };
  SetLogHostSystemForTesting(&system);
  std::thread slow([] { WriteLog("slow\n"); });
  ASSERT_TRUE(WaitFor([&lookups] { return lookups >= 1; }));
  std::atomic<bool> written{false};
  std::thread quick([&written] { written = WriteLog("quick\n") == 1; });
  EXPECT_TRUE(WaitFor([&written] { return written.load(); }));
  release = true;
  slow.join();
  quick.join();
  SetLogHostSystemForTesting(nullptr);
  const std::vector<std::string> lines = SplitLines(Content());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(Parse(lines[0]).message, "quick");
  EXPECT_EQ(Parse(lines[0]).ip, "10.0.0.7");
  EXPECT_EQ(Parse(lines[2]).message, "slow");
}

}  // namespace
}  // namespace seatenrol
