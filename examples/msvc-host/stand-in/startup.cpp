// Stand-in for the C runtime's start-up code: the process entry point asks
// msvcrt.dll for the command line as argc/argv, runs main and exits through
// msvcrt, which flushes standard output.
#include <stdlib.h>

extern "C" {
struct StartupInfo {
  int newMode;
};
int __cdecl __getmainargs(int* argc, char*** argv, char*** environment, int expandWildcards,
                          StartupInfo* startup);
int mainCRTStartup();
}

int main(int argc, char** argv);

extern "C" int mainCRTStartup() {
  int argc = 0;
  char** argv = nullptr;
  char** environment = nullptr;
  StartupInfo startup = {0};
  if (__getmainargs(&argc, &argv, &environment, 0, &startup) != 0) exit(1);
  exit(main(argc, argv));
}
