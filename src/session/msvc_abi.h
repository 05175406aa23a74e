// What the thunks through which a Visual C++ caller reaches the MinGW-built
// DLL have in common (msvc_abi_win.cpp): their convention and the way a
// by-value argument arrives. MinGW builds only.
#ifndef SEATENROL_SESSION_MSVC_ABI_H
#define SEATENROL_SESSION_MSVC_ABI_H

#include <new>

#include "seatenrol/seatenrol.h"

namespace seatenrol {

// The callee's view of an argument a Visual C++ caller passed by value.
#if defined(__i386__)
template <class T>
struct CallerCopy {
  alignas(T) unsigned char bytes[sizeof(T)];
  T& Object() { return *std::launder(reinterpret_cast<T*>(bytes)); }
};
#else
template <class T>
struct CallerCopy {
  T* object;
  T& Object() { return *object; }
};
#endif

}  // namespace seatenrol

// thiscall puts `this` in ECX and pops the rest on i686, like a Visual C++
// member; x86_64 has one convention and ignores it.
#define SEATENROL_THISCALL __attribute__((thiscall))

#endif
