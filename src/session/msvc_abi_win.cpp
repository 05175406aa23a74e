// What a Visual C++ caller needs beyond the GCC-built members. The DLL
// exports every public member under its Visual C++ name as well
// (cmake/seatenrol-*.def, made by scripts/msvc-names.sh); most of them are the
// GCC-built code itself, since both compilers call members the same way. The
// thunks below cover where the conventions differ:
// - a Visual C++ constructor hands `this` back (EAX/RAX), GCC's returns
//   nothing;
// - a class with a destructor passed by value: Visual C++ makes the copy
//   (on i686 in the argument area, which the callee pops; on x86_64 behind a
//   pointer) and the callee destroys it, where GCC's caller destroys it.
// The .def names each thunk (scripts/msvc-names.sh says how), so a new
// exported class needs one line per constructor below, e.g. for
// CThing(const char* path): seatenrol_msvc_CThing_construct_PKc(void* self,
// const char* path) returning Construct<CThing>(self, path). The DLL's link
// names a missing one.
// MinGW builds only: a Visual C++ build of the library exports these names
// itself.
#if defined(__GNUC__)

#include "session/msvc_abi.h"

#include <new>
#include <type_traits>

namespace seatenrol {
namespace {

// noexcept: an exception must not unwind into a Visual C++ caller's frames.
template <class T, class... Args>
void* Construct(void* self, Args... args) noexcept {
  // Every exported class has a constructor thunk, so this covers them all.
  static_assert(!std::is_polymorphic_v<T>,
                "an exported class has no virtual function: the two compilers lay out "
                "virtual tables differently");
  return new (self) T(args...);
}

template <class T>
void* CopyConstruct(void* self, const void* other) noexcept {
  return new (self) T(*static_cast<const T*>(other));
}

// Calls method with the caller's copy, then destroys that copy, as a Visual
// C++ callee must.
template <class C, class R, class A>
R CallWithCallerCopy(C* self, R (C::*method)(A), CallerCopy<A>& argument) noexcept {
  A& copy = argument.Object();
  const R result = (self->*method)(copy);
  copy.~A();
  return result;
}

}  // namespace
}  // namespace seatenrol

using seatenrol::CallerCopy;
using seatenrol::Construct;
using seatenrol::CopyConstruct;

extern "C" {

void* SEATENROL_THISCALL seatenrol_msvc_CBuf_construct(void* self) { return Construct<CBuf>(self); }

void* SEATENROL_THISCALL seatenrol_msvc_CPSCRegisterCommand_construct(void* self) {
  return Construct<CPSCRegisterCommand>(self);
}
void* SEATENROL_THISCALL seatenrol_msvc_CPSCRegisterCommand_copy(void* self, const void* other) {
  return CopyConstruct<CPSCRegisterCommand>(self, other);
}

void* SEATENROL_THISCALL seatenrol_msvc_RegError_construct(void* self) {
  return Construct<RegError>(self);
}
void* SEATENROL_THISCALL seatenrol_msvc_RegError_copy(void* self, const void* other) {
  return CopyConstruct<RegError>(self, other);
}

void* SEATENROL_THISCALL seatenrol_msvc_CResponseCommandReg_construct(void* self) {
  return Construct<CResponseCommandReg>(self);
}
void* SEATENROL_THISCALL seatenrol_msvc_CResponseCommandReg_copy(void* self, const void* other) {
  return CopyConstruct<CResponseCommandReg>(self, other);
}

void* SEATENROL_THISCALL seatenrol_msvc_CSocketAddress_construct(void* self) {
  return Construct<CSocketAddress>(self);
}

void* SEATENROL_THISCALL seatenrol_msvc_CP2PCommunication_construct(void* self) {
  return Construct<CP2PCommunication>(self);
}

void* SEATENROL_THISCALL seatenrol_msvc_CRegisterSession_construct(void* self) {
  return Construct<CRegisterSession>(self);
}

void* SEATENROL_THISCALL seatenrol_msvc_CTavConfig_construct(void* self) {
  return Construct<CTavConfig>(self);
}

int SEATENROL_THISCALL seatenrol_msvc_CP2PCommunication_SetPeerAddr(
    CP2PCommunication* self, CallerCopy<CSocketAddress> address) {
  return seatenrol::CallWithCallerCopy(self, &CP2PCommunication::SetPeerAddr, address);
}
}

#endif
