#include "enrol-server/output_queue.h"

#include <cerrno>

#include "enrol-server/report.h"

namespace seatenrol {

void OutputQueue::Add(const std::string& line) {
  if (m_closed) return;
  if (m_dropped > 0) {
    const std::string notice = DroppedLine(m_dropped) + "\n";
    if (!Fits(notice.size() + line.size() + 1)) {
      ++m_dropped;
      return;
    }
    m_pending += notice;
    m_dropped = 0;
  }
  if (!Fits(line.size() + 1)) {
    ++m_dropped;
    return;
  }
  m_pending += line;
  m_pending += '\n';
}

void OutputQueue::Flush(const Writer& write) {
  if (m_closed || m_pending.empty()) return;
  int error = 0;
  const long written = write(m_pending.data(), m_pending.size(), error);
  if (written >= 0) {
    m_pending.erase(0, static_cast<std::size_t>(written));
    return;
  }
  if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) return;
  m_closed = true;
  m_pending.clear();
  m_pending.shrink_to_fit();
}

}  // namespace seatenrol
