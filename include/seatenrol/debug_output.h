/* Where the library's debugger messages go. On Windows they always reach
 * OutputDebugStringA; a host may install its own sink as well (the seat-enrol
 * tool shows them on the terminal). Without a sink or a message callback,
 * other systems stay silent unless SEATENROL_DEBUG is set in the environment,
 * which sends them to standard error.
 *
 * This is the C++ host's door, in GBK and __cdecl; any language hears the
 * same messages as UTF-8 through seatenrol_set_message_callback
 * (seatenrol/c_api.h), which never waits for a callback. */
#ifndef SEATENROL_DEBUG_OUTPUT_H
#define SEATENROL_DEBUG_OUTPUT_H

#include "seatenrol/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* text is the message's bytes (code page 936), NUL-terminated. The sink is
 * called on whichever thread has a message, on several threads at once, and
 * holding no lock of the library's: it may call any function of the library,
 * SeatenrolSetDebugSink included. It must not throw or jump out (longjmp, a
 * foreign exception): nothing it throws goes further in a build that unwinds
 * C++ exceptions, and a call left that way is waited for no longer than the
 * limit below. */
typedef void(SEATENROL_CDECL* SeatenrolDebugSink)(const char* text, void* context);

/* Installs sink (null removes it); context is passed back on every call.
 * Once it returns, no other thread is still running the sink it replaced, so
 * that sink's context may be released. It waits up to 5 s for them: a call
 * still running then is taken for one that left without returning, and no
 * later call waits for it. Called from inside a sink, it does not wait for
 * its own thread, nor for other threads that are inside this function from
 * their sink in turn (they would wait for each other).
 * The one rule for the host: since this function waits for the sinks running
 * on other threads, a sink must not wait for a thread that is changing the
 * sink (a sink that hands its text to a UI thread belongs in the message
 * callback). */
SEATENROL_API void SEATENROL_CDECL SeatenrolSetDebugSink(SeatenrolDebugSink sink, void* context);

#ifdef __cplusplus
}
#endif

#endif
