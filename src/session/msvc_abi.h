// The thunks through which a Visual C++ caller reaches the MinGW-built DLL
// where the two compilers' conventions differ (msvc_abi_win.cpp). MinGW
// builds only.
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

// A constructor hands back the object it made; the copy constructor copies
// other, a CLASS like self.
extern "C" {
void* SEATENROL_THISCALL seatenrol_msvc_CBuf_construct(void* self);
void* SEATENROL_THISCALL seatenrol_msvc_CPSCRegisterCommand_construct(void* self);
void* SEATENROL_THISCALL seatenrol_msvc_CPSCRegisterCommand_copy(void* self, const void* other);
void* SEATENROL_THISCALL seatenrol_msvc_RegError_construct(void* self);
void* SEATENROL_THISCALL seatenrol_msvc_RegError_copy(void* self, const void* other);
void* SEATENROL_THISCALL seatenrol_msvc_CResponseCommandReg_construct(void* self);
void* SEATENROL_THISCALL seatenrol_msvc_CResponseCommandReg_copy(void* self, const void* other);
void* SEATENROL_THISCALL seatenrol_msvc_CSocketAddress_construct(void* self);
void* SEATENROL_THISCALL seatenrol_msvc_CP2PCommunication_construct(void* self);
void* SEATENROL_THISCALL seatenrol_msvc_CRegisterSession_construct(void* self);
// SetPeerAddr with the caller's copy of address, which it destroys.
int SEATENROL_THISCALL seatenrol_msvc_CP2PCommunication_SetPeerAddr(
    CP2PCommunication* self, seatenrol::CallerCopy<CSocketAddress> address);
}

#endif
