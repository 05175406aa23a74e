// What seat-enrol needs of the system it runs on, one file per system
// (console_posix.cpp, console_win.cpp), so the command's own logic holds no
// system header.
#ifndef SEATENROL_TOOLS_SEAT_ENROL_CONSOLE_H
#define SEATENROL_TOOLS_SEAT_ENROL_CONSOLE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace seatenrol {

// The process set up for the tool while this object lives. On Windows it
// starts Winsock, which the library leaves to its host, and has std::cout
// and std::cerr write to a console as UTF-16, so Chinese text reads right
// whatever the console's code page; redirected output stays UTF-8. Elsewhere
// there is nothing to do.
class ToolEnvironment {
public:
  ToolEnvironment();
  ~ToolEnvironment();
  ToolEnvironment(const ToolEnvironment&) = delete;
  ToolEnvironment& operator=(const ToolEnvironment&) = delete;

private:
  struct State;
  std::unique_ptr<State> m_state;
};

// Whether standard error is a terminal (a console on Windows).
bool StandardErrorIsTerminal();

// The program's arguments as UTF-8, argv[0] included. On Windows they come
// from the wide command line (GetCommandLineW), so any character survives;
// main's argv holds the ANSI code page's approximation.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Reads at most limit bytes of the file at path (UTF-8) into content, from
// offset on; a file shorter than offset is read from its start. False, with
// the system's error code in systemError, when it cannot be opened or read.
// The file is opened so that no program this one starts inherits it.
bool ReadFileFrom(const std::string& path, std::uint64_t offset, std::size_t limit,
                  std::string& content, int& systemError);

// The system's own text for code (strerror, FormatMessageW) as UTF-8,
// without a line end; empty when the system has none.
std::string SystemReason(int code);

// While this object lives, Ctrl-C (SIGINT; on Windows the console's Ctrl-C
// and Ctrl-Break) no longer ends the program: it only marks the interrupt,
// which Requested() then tells. One object at a time.
class InterruptWatch {
public:
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  static bool Requested();

private:
  struct State;
  std::unique_ptr<State> m_state;
};

// A copy of the shared library lying beside the program, which other programs
// there load: its full path and the file version its resource names (empty
// when it has none).
struct LibraryFile {
  std::string path;
  std::string version;
};

// False when there is none, and on systems where programs do not load their
// libraries from their own folder.
bool FindLibraryBesideProgram(LibraryFile& file);

}  // namespace seatenrol

#endif
