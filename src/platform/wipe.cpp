#include "platform/wipe.h"

namespace seatenrol {

// Deeper than the sealing's frames (its cipher object is some 2.4 KB) with
// room to spare, and small beside any thread's stack.
constexpr std::size_t kStackWipeSize = 8192;

#if defined(__GNUC__)
__attribute__((noinline))
#else
__declspec(noinline)
#endif
void WipeStackBelow() {
  // Its own frame lies where those of the caller's finished calls did.
  unsigned char area[kStackWipeSize];
  WipeBytes(area, sizeof area);
}

}  // namespace seatenrol
