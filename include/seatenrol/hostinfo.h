// The seat's identity as the library exports it.
#ifndef SEATENROL_HOSTINFO_H
#define SEATENROL_HOSTINFO_H

#include "seatenrol/export.h"
#include "seatenrol/wire.h"

// Stamps error with the seat's IPv4 address and host name; 1 when both were
// stamped, 0 otherwise (error untouched when no address is found).
extern "C" SEATENROL_API int SEATENROL_CDECL CreateError(RegError* error);

#endif
