// Stand-in for the C runtime's <stdio.h>: the calls the host makes, as
// msvcrt.dll exports them.
#ifndef SEATENROL_STAND_IN_STDIO_H
#define SEATENROL_STAND_IN_STDIO_H

extern "C" {
struct _iobuf;
typedef struct _iobuf FILE;
int __cdecl printf(const char* format, ...);
int __cdecl fflush(FILE* stream);
}

#endif
