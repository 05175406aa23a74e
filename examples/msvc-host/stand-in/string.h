// Stand-in for the C runtime's <string.h>.
#ifndef SEATENROL_STAND_IN_STRING_H
#define SEATENROL_STAND_IN_STRING_H

#include <stddef.h>

extern "C" {
int __cdecl memcmp(const void* a, const void* b, size_t count);
void* __cdecl memcpy(void* target, const void* source, size_t count);
void* __cdecl memset(void* target, int value, size_t count);
size_t __cdecl strlen(const char* text);
int __cdecl strcmp(const char* a, const char* b);
}

#endif
