// What the tests of the library's joints with its host share: a scratch
// directory for the store and the log, the descriptors the process holds,
// and the system's own calls put back after a test's stand-ins.
#ifndef SEATENROL_TESTS_JOINTS_JOINTS_SUPPORT_H
#define SEATENROL_TESTS_JOINTS_JOINTS_SUPPORT_H

#include <string>

#include "platform/system_calls_posix.h"

namespace seatenrol_test {

// A fresh directory that holds the stored list and the log while this
// object lives; removed with its content afterwards.
class ScratchDirectory {
public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& Path() const { return m_path; }

private:
  std::string m_path;
};

// The number of descriptors the process holds.
int OpenDescriptors();

// Puts the system's own calls back in the table when it goes, whatever a
// test put in their place.
struct RestoreSystemCalls {
  ~RestoreSystemCalls() { seatenrol::Posix() = seatenrol::kSystemPosixCalls; }
};

}  // namespace seatenrol_test

#endif
