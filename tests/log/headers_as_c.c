/* The public headers a C host includes, compiled as C: the build fails when
 * one of them stops being C. */
#include "seatenrol/c_api.h"
#include "seatenrol/debug_output.h"

static void SEATENROL_CDECL Sink(const char* text, void* context) {
  (void)text;
  (void)context;
}

static void SEATENROL_CALL Hear(void* context, const char* utf8) {
  (void)context;
  (void)utf8;
}

/* Referenced, so the declarations are used as a C caller would. */
void seatenrol_c_headers_check(void);
void seatenrol_c_headers_check(void) {
  SeatenrolDebugSink sink = Sink;
  seatenrol_message_fn fn = Hear;
  (void)sink;
  (void)fn;
}
