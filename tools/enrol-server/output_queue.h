// The server's standard output: JSON lines waiting to be written, one write
// per batch. A reader that has gone away (EPIPE) or falls behind never stops
// the serving: lines are dropped, or kept up to a limit, instead.
#ifndef SEATENROL_TOOLS_ENROL_SERVER_OUTPUT_QUEUE_H
#define SEATENROL_TOOLS_ENROL_SERVER_OUTPUT_QUEUE_H

#include <cstddef>
#include <functional>
#include <string>

namespace seatenrol {

class OutputQueue {
public:
  // One write of up to size bytes from data: the count written, or -1 with
  // the system's error number in error.
  using Writer = std::function<long(const char* data, std::size_t size, int& error)>;

  static constexpr std::size_t kDefaultLimit = 16 * 1024 * 1024;
  explicit OutputQueue(std::size_t limit = kDefaultLimit) : m_limit(limit) {}

  // Queues line and its line end. A line that would take the queue past its
  // limit is dropped and counted; once there is room again a
  // {"event":"dropped","lines":N} line tells the reader how many.
  void Add(const std::string& line);

  // Hands the queue to one call of write. What it took leaves the queue; a
  // full pipe (EAGAIN) or an interruption keeps the rest for the next
  // flush; any other failure (EPIPE: the reader is gone) closes the output:
  // every line then, and from then on, is dropped.
  void Flush(const Writer& write);

  bool Pending() const { return !m_pending.empty(); }
  bool Closed() const { return m_closed; }
  const std::string& PendingText() const { return m_pending; }

private:
  bool Fits(std::size_t size) const { return m_pending.size() + size <= m_limit; }

  std::size_t m_limit;
  std::string m_pending;
  std::size_t m_dropped = 0;
  bool m_closed = false;
};

}  // namespace seatenrol

#endif
