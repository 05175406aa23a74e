// What seat-enrol needs of the system it runs on, one file per system
// (console_posix.cpp, console_win.cpp), so the command's own logic holds no
// system header.
#ifndef SEATENROL_TOOLS_SEAT_ENROL_CONSOLE_H
#define SEATENROL_TOOLS_SEAT_ENROL_CONSOLE_H

#include <memory>
#include <string>

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
