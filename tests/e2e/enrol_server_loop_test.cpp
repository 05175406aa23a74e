// The parts of the reference server's loop that decide over plain data: what
// a datagram is and what it gets, the JSON texts, held-back answers and the
// output that must never stop the serving.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <chrono>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/hex.h"
#include "enrol-server/datagram_handler.h"
#include "enrol-server/json_text.h"
#include "enrol-server/output_queue.h"
#include "enrol-server/report.h"
#include "enrol-server/timer_queue.h"
#include "request_fixture.h"

namespace seatenrol {
namespace {

using seatenrol_test::EncodedRequest;

VenueSecret CountingSecret() {
  VenueSecret secret;
  for (std::size_t i = 0; i < secret.size(); ++i) secret[i] = static_cast<unsigned char>(i);
  return secret;
}

// The value of key in a flat JSON line, as written (strings with quotes).
std::string ValueOf(const std::string& line, const std::string& key) {
  const std::string marker = "\"" + key + "\":";
  const std::size_t at = line.find(marker);
  if (at == std::string::npos) return "<absent>";
  std::size_t end = at + marker.size();
  if (line[end] == '"') {
    for (++end; line[end] != '"'; ++end) end += line[end] == '\\' ? 1 : 0;
    ++end;
  } else {
    while (line[end] != ',' && line[end] != '}') ++end;
  }
  return line.substr(at + marker.size(), end - at - marker.size());
}

TEST(JsonText, EveryLineIsValidUtf8WhateverTheBytes) {
  const struct {
    std::string text;
    std::string json;
  } cases[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\n\x01\x7F", "\"\\u000a\\u0001\\u007f\""},
      {"\xE7\xBD\x91\xE5\x90\xA7", "\"\xE7\xBD\x91\xE5\x90\xA7\""},  // two CJK characters
      {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},                  // beyond the BMP
      {"\x80", "\"\\ufffd\""},                                       // stray continuation
      {"a\xC8", "\"a\\ufffd\""},                                     // cut at the end
      {"\xE7\xBD"
       "b",
       "\"\\ufffd\\ufffdb\""},                                   // cut before a letter
      {"\xC0\xAF", "\"\\ufffd\\ufffd\""},                        // overlong '/'
      {"\xE0\x80\xAF", "\"\\ufffd\\ufffd\\ufffd\""},             // overlong, three bytes
      {"\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\""},             // a surrogate
      {"\xF4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},  // above U+10FFFF
  };
  for (const auto& row : cases) EXPECT_EQ(JsonString(row.text), row.json) << row.json;
}

class Datagrams : public ::testing::Test {
protected:
  void SetUp() override {
    std::istringstream in("44010612 " + ToHex(CountingSecret().data(), 32) + "\n");
    std::string error;
    ASSERT_TRUE(m_venues.Load(in, error));
  }
  HandledDatagram Handle(const std::string& bytes, std::size_t length) {
    return HandleDatagram(reinterpret_cast<const unsigned char*>(bytes.data()), length,
                          "127.0.0.1:4000", m_venues, {});
  }
  VenueTable m_venues;
};

TEST_F(Datagrams, OnlyARequestOfItsExactLengthIsAnswered) {
  const std::string request = EncodedRequest("44010612", CountingSecret());
  std::string otherCommand = request;
  otherCommand[3] = 126;
  const std::string longer = request + std::string(65507 - request.size(), 'x');
  const struct {
    std::string bytes;
    std::size_t length;
    const char* event;
    const char* reason;
  } cases[] = {
      {request, kRequestSize, "\"request\"", "<absent>"},
      {request, kRequestSize - 1, "\"ignored\"", "\"shorter than a request\""},
      {std::string(), 0, "\"ignored\"", "\"shorter than a request\""},
      {longer, kRequestSize + 1, "\"ignored\"", "\"longer than a request\""},
      {longer, 65507, "\"ignored\"", "\"longer than a request\""},
      {otherCommand, kRequestSize, "\"ignored\"", "\"not a registration request\""},
  };
  for (const auto& row : cases) {
    const HandledDatagram handled = Handle(row.bytes, row.length);
    EXPECT_EQ(ValueOf(handled.line, "event"), row.event) << row.length;
    EXPECT_EQ(ValueOf(handled.line, "reason"), row.reason) << row.length;
    EXPECT_EQ(ValueOf(handled.line, "length"), std::to_string(row.length));
    const bool isRequest = std::string(row.event) == "\"request\"";
    EXPECT_EQ(handled.answered, isRequest) << row.length;
    EXPECT_EQ(handled.reply.size(), isRequest ? 191u : 0u) << row.length;
  }
}

TEST_F(Datagrams, RequestTextsAreShownAsUtf8WithTheBytesWhenNotGbk) {
  const struct {
    std::string hostName;
    std::string shown;
    std::string hex;
  } cases[] = {
      {"seat-07", "\"seat-07\"", "<absent>"},
      {"\xCD\xF8\xB0\xC9-07", "\"\xE7\xBD\x91\xE5\x90\xA7-07\"", "<absent>"},
      {"\xFF\xFE"
       "07",
       "\"\xEF\xBF\xBD\xEF\xBF\xBD"
       "07\"",
       "\"fffe3037\""},
  };
  for (const auto& row : cases) {
    const HandledDatagram handled =
        Handle(EncodedRequest("44010612", CountingSecret(), row.hostName), kRequestSize);
    EXPECT_EQ(ValueOf(handled.line, "hostName"), row.shown);
    EXPECT_EQ(ValueOf(handled.line, "hostNameHex"), row.hex);
    EXPECT_EQ(ValueOf(handled.line, "companyID"), "\"44010612\"");
    EXPECT_TRUE(handled.answered);
  }
}

// Checked apart from the server's own escaping: iconv refuses any byte
// sequence that is not UTF-8.
bool IsValidUtf8(const std::string& text) {
  iconv_t check = iconv_open("UTF-32LE", "UTF-8");
  if (check == reinterpret_cast<iconv_t>(-1)) return false;
  std::vector<char> out(text.size() * 4 + 4);
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char* to = out.data();
  std::size_t outLeft = out.size();
  const bool valid = iconv(check, &in, &inLeft, &to, &outLeft) != static_cast<std::size_t>(-1);
  iconv_close(check);
  return valid;
}

TEST_F(Datagrams, EveryLineIsUtf8WhateverBytesTheRequestCarries) {
  std::mt19937 random(20261209);
  std::string request = EncodedRequest("44010612", CountingSecret());
  for (int round = 0; round < 2000; ++round) {
    // Every byte after the command ID at random; half the rounds in the
    // range where GBK and UTF-8 lead bytes live.
    for (std::size_t i = 4; i < request.size(); ++i) {
      const unsigned value = random();
      request[i] = static_cast<char>(round % 2 == 0 ? value : 0x80 | value);
    }
    const HandledDatagram handled = Handle(request, kRequestSize);
    ASSERT_TRUE(IsValidUtf8(handled.line)) << handled.line;
    ASSERT_EQ(ValueOf(handled.line, "event"), "\"request\"");
  }
}

TEST(TimerQueue, HandsOutWhatIsDueEarliestFirstAndTiesInOrder) {
  using Clock = TimerQueue<int>::Clock;
  const Clock::time_point start = Clock::now();
  const auto at = [&](int ms) { return start + std::chrono::milliseconds(ms); };
  TimerQueue<int> queue;
  EXPECT_FALSE(queue.NextDue().has_value());
  queue.Push(at(300), 3);
  queue.Push(at(100), 1);
  queue.Push(at(200), 20);
  queue.Push(at(200), 21);
  queue.Push(at(200), 22);
  EXPECT_EQ(queue.NextDue(), at(100));

  const struct {
    int now;
    std::vector<int> due;
  } steps[] = {{99, {}}, {100, {1}}, {250, {20, 21, 22}}, {250, {}}, {1000, {3}}};
  for (const auto& step : steps) {
    std::vector<int> due;
    queue.TakeDue(at(step.now), due);
    EXPECT_EQ(due, step.due) << step.now;
  }
  EXPECT_TRUE(queue.Empty());
}

// A writer that plays back scripted results: a count to take, or an error.
struct ScriptedWriter {
  struct Result {
    long take;  // bytes taken, or -1
    int error;
  };
  std::vector<Result> script;
  std::string written;
  std::size_t calls = 0;

  OutputQueue::Writer Writer() {
    return [this](const char* data, std::size_t size, int& error) -> long {
      const Result result = calls < script.size() ? script[calls] : Result{-1, EAGAIN};
      ++calls;
      if (result.take < 0) {
        error = result.error;
        return -1;
      }
      const std::size_t taken = std::min(size, static_cast<std::size_t>(result.take));
      written.append(data, taken);
      return static_cast<long>(taken);
    };
  }
};

TEST(OutputQueue, KeepsWhatAFullPipeRefusesAndDropsAllOnceTheReaderIsGone) {
  ScriptedWriter writer{{{-1, EAGAIN}, {4, 0}, {-1, EINTR}, {100, 0}, {-1, EPIPE}}, "", 0};
  OutputQueue output;
  output.Add("one");
  output.Add("two");
  output.Flush(writer.Writer());  // the pipe is full
  EXPECT_EQ(output.PendingText(), "one\ntwo\n");
  output.Flush(writer.Writer());  // the reader takes four bytes
  EXPECT_EQ(output.PendingText(), "two\n");
  output.Flush(writer.Writer());  // interrupted
  output.Flush(writer.Writer());
  EXPECT_EQ(writer.written, "one\ntwo\n");
  EXPECT_FALSE(output.Pending());

  output.Add("three");
  output.Flush(writer.Writer());  // the reader has gone
  EXPECT_TRUE(output.Closed());
  EXPECT_FALSE(output.Pending());
  output.Add("four");
  output.Flush(writer.Writer());
  EXPECT_FALSE(output.Pending());
  EXPECT_EQ(writer.calls, 5u);  // nothing is written once the output is closed
}

TEST(OutputQueue, ALineBeyondTheLimitIsDroppedAndCounted) {
  ScriptedWriter writer{{{1000, 0}, {1000, 0}}, "", 0};
  OutputQueue output(40);
  output.Add(std::string(30, 'a'));
  output.Add(std::string(30, 'b'));  // no room: dropped
  output.Add(std::string(30, 'c'));  // dropped
  output.Flush(writer.Writer());
  output.Add("d");
  output.Flush(writer.Writer());
  EXPECT_EQ(writer.written, std::string(30, 'a') + "\n" + DroppedLine(2) + "\nd\n");
}

}  // namespace
}  // namespace seatenrol
