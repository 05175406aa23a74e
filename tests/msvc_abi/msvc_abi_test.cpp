#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>

#include "net_test_util.h"
#include "session/msvc_abi.h"

// The thunks, as msvc_abi_win.cpp defines them.
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
int SEATENROL_THISCALL seatenrol_msvc_CP2PCommunication_SetPeerAddr(
    CP2PCommunication* self, seatenrol::CallerCopy<CSocketAddress> address);
}

namespace {

using ConstructThunk = void*(SEATENROL_THISCALL*)(void* self);
using CopyThunk = void*(SEATENROL_THISCALL*)(void* self, const void* other);

constexpr unsigned char kFill = 0xa5;

// Storage for one object, filled with the same bytes before each use so that
// two constructions can be compared byte for byte.
template <class T>
struct Storage {
  Storage() { std::memset(bytes, kFill, sizeof bytes); }
  T* Object() { return std::launder(reinterpret_cast<T*>(bytes)); }
  alignas(T) unsigned char bytes[sizeof(T)];
};

// The thunk returns the storage it was given and leaves there what T()
// leaves (when T() is deterministic: a session holds a fresh buffer).
template <class T>
void ExpectConstructsLikeT(ConstructThunk thunk, bool sameBytes) {
  Storage<T> viaThunk;
  Storage<T> viaNew;
  EXPECT_EQ(thunk(viaThunk.bytes), static_cast<void*>(viaThunk.bytes));
  new (viaNew.bytes) T();
  if (sameBytes) {
    EXPECT_EQ(std::memcmp(viaThunk.bytes, viaNew.bytes, sizeof(T)), 0);
  }
  viaThunk.Object()->~T();
  viaNew.Object()->~T();
}

TEST(MsvcAbiTest, ConstructorThunksReturnTheObjectTheyMake) {
  struct Case {
    const char* name;
    void (*check)();
  };
  const Case cases[] = {
      {"CBuf", [] { ExpectConstructsLikeT<CBuf>(seatenrol_msvc_CBuf_construct, true); }},
      {"CPSCRegisterCommand",
       [] {
         ExpectConstructsLikeT<CPSCRegisterCommand>(seatenrol_msvc_CPSCRegisterCommand_construct,
                                                    true);
       }},
      {"RegError",
       [] { ExpectConstructsLikeT<RegError>(seatenrol_msvc_RegError_construct, true); }},
      {"CResponseCommandReg",
       [] {
         ExpectConstructsLikeT<CResponseCommandReg>(seatenrol_msvc_CResponseCommandReg_construct,
                                                    true);
       }},
      {"CSocketAddress",
       [] {
         ExpectConstructsLikeT<CSocketAddress>(seatenrol_msvc_CSocketAddress_construct, true);
       }},
      {"CP2PCommunication",
       [] {
         ExpectConstructsLikeT<CP2PCommunication>(seatenrol_msvc_CP2PCommunication_construct, true);
       }},
      {"CRegisterSession",
       [] {
         ExpectConstructsLikeT<CRegisterSession>(seatenrol_msvc_CRegisterSession_construct, false);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.check();
  }
}

// The copy equals its source in every byte, and the thunk returns it.
template <class T>
void ExpectCopies(CopyThunk thunk, T& source) {
  Storage<T> copy;
  EXPECT_EQ(thunk(copy.bytes, &source), static_cast<void*>(copy.bytes));
  EXPECT_EQ(std::memcmp(copy.bytes, static_cast<const void*>(&source), sizeof(T)), 0);
  copy.Object()->~T();
}

TEST(MsvcAbiTest, CopyConstructorThunksCopyEveryByte) {
  unsigned char venue[] = "44030500012345";
  unsigned char info[52];
  for (int i = 0; i < 52; ++i) info[i] = static_cast<unsigned char>(i + 1);

  CPSCRegisterCommand request;
  request.SetCompanyID(venue, 14);
  request.SetLocalIP("10.1.2.3");
  request.SetCommandVer(9);
  SCOPED_TRACE("CPSCRegisterCommand");
  ExpectCopies(seatenrol_msvc_CPSCRegisterCommand_copy, request);

  RegError result;
  result.SetErrorNo(-4);
  result.SetErrorInfo(info, 52);
  SCOPED_TRACE("RegError");
  ExpectCopies(seatenrol_msvc_RegError_copy, result);

  CResponseCommandReg answer;
  answer.SetP2PError(&result);
  answer.SetCommandVer(2);
  SCOPED_TRACE("CResponseCommandReg");
  ExpectCopies(seatenrol_msvc_CResponseCommandReg_copy, answer);
}

// The caller's copy of the address, laid out as a Visual C++ caller passes it.
struct CallerArgument {
  explicit CallerArgument(const CSocketAddress& address) {
#if defined(__i386__)
    new (argument.bytes) CSocketAddress(address);
#else
    copy = address;
    argument.object = &copy;
#endif
  }
  CSocketAddress copy;
  seatenrol::CallerCopy<CSocketAddress> argument;
};

TEST(MsvcAbiTest, SetPeerAddrThunkConnectsToTheCallersAddress) {
  seatenrol_test::LoopbackSocket peer;
  seatenrol_test::LoopbackSocket stranger;
  ASSERT_TRUE(peer.IsReady() && stranger.IsReady());
  CP2PCommunication endpoint;
  ASSERT_NE(endpoint.Open(2), 0);
  CallerArgument address(peer.Address());
  ASSERT_NE(seatenrol_msvc_CP2PCommunication_SetPeerAddr(&endpoint, address.argument), 0);

  ASSERT_EQ(endpoint.SendTo("ping", 4), 4);
  std::string payload;
  int fromPort = 0;
  ASSERT_TRUE(peer.Receive(2000, &payload, &fromPort));
  EXPECT_EQ(payload, "ping");
  EXPECT_EQ(stranger.Receive(0, &payload, &fromPort), false);
}

TEST(MsvcAbiTest, SetPeerAddrThunkRefusesWhatSetPeerAddrRefuses) {
  CP2PCommunication closed;
  CallerArgument address(seatenrol_test::LoopbackAddress(9));
  EXPECT_EQ(seatenrol_msvc_CP2PCommunication_SetPeerAddr(&closed, address.argument), 0);
}

}  // namespace
