// Clearing memory that held the caller's secret, or a credential the caller
// has been given, with stores the optimiser keeps: a plain memset of memory
// that is about to be released or to go out of scope may be dropped as dead.
#ifndef SEATENROL_PLATFORM_WIPE_H
#define SEATENROL_PLATFORM_WIPE_H

#include <cstddef>

namespace seatenrol {

// Sets size bytes at data to zero; data may be null when size is 0.
void WipeBytes(void* data, std::size_t size);

// Clears the stack below the caller's frame, where the frames of the calls
// it has just made lay, so nothing they spilled there stays behind.
void WipeStackBelow();

// Wipes an object's bytes when the scope ends, whichever way it is left.
// Declared after the object, so it runs before the object's destructor.
class ScopedWipe {
public:
  ScopedWipe(void* data, std::size_t size) : m_data(data), m_size(size) {}
  ~ScopedWipe() { WipeBytes(m_data, m_size); }
  ScopedWipe(const ScopedWipe&) = delete;
  ScopedWipe& operator=(const ScopedWipe&) = delete;

private:
  void* m_data;
  std::size_t m_size;
};

}  // namespace seatenrol

#endif
