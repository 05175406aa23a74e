// Items that fall due at given times, for answers held back by --delay:
// one queue in the server's single loop, so a held answer never holds up
// the next seat.
#ifndef SEATENROL_TOOLS_ENROL_SERVER_TIMER_QUEUE_H
#define SEATENROL_TOOLS_ENROL_SERVER_TIMER_QUEUE_H

#include <chrono>
#include <cstdint>
#include <optional>
#include <queue>
#include <utility>
#include <vector>

namespace seatenrol {

template <typename Item>
class TimerQueue {
public:
  using Clock = std::chrono::steady_clock;

  void Push(Clock::time_point due, Item item) {
    m_entries.push(Entry{due, m_sequence++, std::move(item)});
  }

  bool Empty() const { return m_entries.empty(); }
  std::size_t Size() const { return m_entries.size(); }

  // When the earliest item falls due; none for an empty queue.
  std::optional<Clock::time_point> NextDue() const {
    if (m_entries.empty()) return std::nullopt;
    return m_entries.top().due;
  }

  // Moves every item due at now or earlier to out, earliest first; items
  // due at the same time keep the order they were pushed in.
  void TakeDue(Clock::time_point now, std::vector<Item>& out) {
    while (!m_entries.empty() && m_entries.top().due <= now) {
      // top() is const; the entry is removed right after its item is taken.
      out.push_back(std::move(const_cast<Entry&>(m_entries.top()).item));
      m_entries.pop();
    }
  }

private:
  struct Entry {
    Clock::time_point due;
    std::uint64_t sequence;
    Item item;
  };
  struct Later {
    bool operator()(const Entry& a, const Entry& b) const {
      return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
    }
  };
  std::priority_queue<Entry, std::vector<Entry>, Later> m_entries;
  std::uint64_t m_sequence = 0;
};

}  // namespace seatenrol

#endif
