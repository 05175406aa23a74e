#include <unistd.h>

#include "seat-enrol/console.h"

namespace seatenrol {

struct ToolEnvironment::State {};

ToolEnvironment::ToolEnvironment() = default;
ToolEnvironment::~ToolEnvironment() = default;

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool FindLibraryBesideProgram(LibraryFile&) { return false; }

}  // namespace seatenrol
