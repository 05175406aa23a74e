// One switch for the library's export surface: SEATENROL_BUILDING is defined
// while the library itself is compiled, and absent for its users.
#ifndef SEATENROL_EXPORT_H
#define SEATENROL_EXPORT_H

#if defined(_WIN32)
#if defined(SEATENROL_BUILDING)
#define SEATENROL_API __declspec(dllexport)
#else
#define SEATENROL_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define SEATENROL_API __attribute__((visibility("default")))
#else
#define SEATENROL_API
#endif

// The plain functions and the callback type keep the C convention whatever
// default a Windows host compiles with (/Gz, /Gr).
#if defined(_WIN32)
#define SEATENROL_CDECL __cdecl
#else
#define SEATENROL_CDECL
#endif

#endif
