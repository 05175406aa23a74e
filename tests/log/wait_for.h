// Bounded waits for the log's thread tests.
#ifndef SEATENROL_TESTS_LOG_WAIT_FOR_H
#define SEATENROL_TESTS_LOG_WAIT_FOR_H

#include <chrono>
#include <thread>

namespace seatenrol {

// Waits up to 10 s for done; whether it came.
template <typename Done>
bool WaitFor(Done done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done() && std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

}  // namespace seatenrol

#endif
