#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "log/log.h"
#include "seatenrol/debug_output.h"

namespace seatenrol {
namespace {

void Collect(const char* text, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(text);
}

TEST(DebugOutput, ReachesTheHostSinkUntilItIsRemoved) {
  std::vector<std::string> seen;
  SeatenrolSetDebugSink(Collect, &seen);
  DebugOutput("first\n");
  DebugOutput(nullptr);
  SeatenrolSetDebugSink(nullptr, nullptr);
  DebugOutput("second\n");
  EXPECT_EQ(seen, std::vector<std::string>({"first\n"}));
}

#if !defined(_WIN32)
TEST(DebugOutput, StandardErrorOnlyWhenAskedForAndNoSinkIsInstalled) {
  unsetenv("SEATENROL_DEBUG");
  testing::internal::CaptureStderr();
  DebugOutput("silent\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  setenv("SEATENROL_DEBUG", "1", 1);
  testing::internal::CaptureStderr();
  DebugOutput("shown\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "shown\n");

  std::vector<std::string> seen;
  SeatenrolSetDebugSink(Collect, &seen);
  testing::internal::CaptureStderr();
  DebugOutput("to the sink\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  SeatenrolSetDebugSink(nullptr, nullptr);
  unsetenv("SEATENROL_DEBUG");
  EXPECT_EQ(seen, std::vector<std::string>({"to the sink\n"}));
}
#endif

}  // namespace
}  // namespace seatenrol
