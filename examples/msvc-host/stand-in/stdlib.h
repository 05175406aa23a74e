// Stand-in for the C runtime's <stdlib.h>.
#ifndef SEATENROL_STAND_IN_STDLIB_H
#define SEATENROL_STAND_IN_STDLIB_H

extern "C" {
long __cdecl strtol(const char* text, char** end, int base);
// Flushes the streams and ends the process.
__declspec(noreturn) void __cdecl exit(int status);
}

#endif
