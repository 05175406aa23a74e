// The system calls behind the datagram endpoint, the resolver, the host name
// and the interface dump. The library makes them through this table so that
// a test can put a failing stand-in in the place of any one of them;
// otherwise each entry is the C library's own function. Tests change entries
// only while no other thread is inside the library.
#ifndef SEATENROL_PLATFORM_SYSTEM_CALLS_POSIX_H
#define SEATENROL_PLATFORM_SYSTEM_CALLS_POSIX_H

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace seatenrol {

struct PosixCalls {
  decltype(&::socket) socket;
  decltype(&::send) send;
  decltype(&::sendto) sendto;
  decltype(&::poll) poll;
  decltype(&::recvmsg) recvmsg;
  decltype(&::recvmmsg) recvmmsg;
  decltype(&::gethostbyname_r) gethostbyname_r;
  decltype(&::gethostname) gethostname;
};

// The C library's own functions.
constexpr PosixCalls kSystemPosixCalls = {::socket,  ::send,     ::sendto,          ::poll,
                                          ::recvmsg, ::recvmmsg, ::gethostbyname_r, ::gethostname};

// The table in use.
PosixCalls& Posix();

}  // namespace seatenrol

#endif
