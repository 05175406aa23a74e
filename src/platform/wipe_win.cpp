#include <windows.h>

#include "platform/wipe.h"

namespace seatenrol {

void WipeBytes(void* data, std::size_t size) {
  if (data == nullptr || size == 0) return;
  // Documented as never optimised away, unlike ZeroMemory; WinNT.h makes it
  // an inline loop over volatile stores.
  SecureZeroMemory(data, size);
}

}  // namespace seatenrol
