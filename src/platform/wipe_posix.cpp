#include <string.h>

#include "platform/wipe.h"

namespace seatenrol {

void WipeBytes(void* data, std::size_t size) {
  if (data == nullptr || size == 0) return;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 25))
  // glibc promises explicit_bzero is never removed as a dead store.
  explicit_bzero(data, size);
#else
  // Stores through a volatile pointer are observable, so each one is made.
  volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
#endif
}

}  // namespace seatenrol
