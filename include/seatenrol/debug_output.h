// Where the library's debugger messages go. On Windows they always reach
// OutputDebugStringA; a host may install its own sink as well (the seat-enrol
// tool shows them on the terminal). Without a sink, other systems stay silent
// unless SEATENROL_DEBUG is set in the environment, which sends them to
// standard error.
#ifndef SEATENROL_DEBUG_OUTPUT_H
#define SEATENROL_DEBUG_OUTPUT_H

#include "seatenrol/export.h"

extern "C" {
// text is the message's bytes (code page 936), NUL-terminated. The sink is
// called on whichever thread has a message, on several threads at once, and
// holding no lock of the library's: it may call any function of the library,
// SeatenrolSetDebugSink included.
typedef void(SEATENROL_CDECL* SeatenrolDebugSink)(const char* text, void* context);
// Installs sink (null removes it); context is passed back on every call.
// Once it returns, no other thread is still running the sink it replaced, so
// that sink's context may be released. Called from inside a sink, it does not
// wait for its own thread, nor for other threads that are inside this
// function from their sink in turn (they would wait for each other).
// The one rule for the host: since this function waits for the sinks running
// on other threads, a sink must not wait for a thread that is changing the
// sink.
SEATENROL_API void SEATENROL_CDECL SeatenrolSetDebugSink(SeatenrolDebugSink sink, void* context);
}

#endif
