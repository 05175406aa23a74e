// Everything a terminal program needs to enrol its seat.
#ifndef SEATENROL_SEATENROL_H
#define SEATENROL_SEATENROL_H

#include "seatenrol/c_api.h"
#include "seatenrol/config.h"
#include "seatenrol/debug_output.h"
#include "seatenrol/hostinfo.h"
#include "seatenrol/session.h"
#include "seatenrol/transport.h"
#include "seatenrol/wire.h"

#endif
