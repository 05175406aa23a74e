// Calls a constructor through its import slot, as Visual C++ code does, and
// checks that it hands `this` back: a Visual C++ caller may use that value
// (EAX/RAX) as the new object's address.
#ifndef MSVC_HOST_CONSTRUCTOR_CHECK_H
#define MSVC_HOST_CONSTRUCTOR_CHECK_H

#include <string.h>

#include "seatenrol/seatenrol.h"

#if defined(_M_IX86)
using DefaultConstructor = void*(__thiscall*)(void* self);
using CopyConstructor = void*(__thiscall*)(void* self, const void* other);
#else
using DefaultConstructor = void* (*)(void* self);
using CopyConstructor = void* (*)(void* self, const void* other);
#endif

struct ConstructorSlot {
  const char* name;
  void* const* slot;
  // Nonzero when the constructor returned its object, and a copy equals its
  // source.
  int (*check)(void* const* slot);
};

// The objects built live in static storage: a frame larger than a page would call
// the runtime's stack probe (__chkstk), which the stand-in does not provide.
template <class T>
int CheckConstructor(void* const* slot) {
  alignas(T) static unsigned char storage[sizeof(T)];
  void* const result = reinterpret_cast<DefaultConstructor>(*slot)(storage);
  static_cast<T*>(static_cast<void*>(storage))->~T();
  return result == storage;
}

template <class T>
int CheckCopyConstructor(void* const* slot) {
  const T source;
  alignas(T) static unsigned char storage[sizeof(T)];
  void* const result = reinterpret_cast<CopyConstructor>(*slot)(storage, &source);
  const bool same = memcmp(storage, &source, sizeof(T)) == 0;
  static_cast<T*>(static_cast<void*>(storage))->~T();
  return result == storage && same;
}

// Generated per architecture from the DLL's Visual C++ names (build.sh).
extern const ConstructorSlot kConstructors[];
extern const int kConstructorCount;

#endif
