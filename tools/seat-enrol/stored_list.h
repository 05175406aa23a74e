// The stored server list as the technician sees and edits it, through the
// library's C interface.
#ifndef SEATENROL_TOOLS_SEAT_ENROL_STORED_LIST_H
#define SEATENROL_TOOLS_SEAT_ENROL_STORED_LIST_H

#include <ostream>
#include <string>

namespace seatenrol {

// The full path of the list's file; "regaddrs.dat" when the library cannot
// tell it.
std::string StorePath();

// Prints where the list is kept, which file was read, and its entries.
// The exit status: 0, or 2 when nothing could be read.
int PrintStoredList(std::ostream& out);

// Removes server:port, or with all every entry, as one step under the
// store's lock. The exit status: 0 when removed, 2 otherwise (the line says
// why).
int ForgetServers(std::ostream& out, bool all, const std::string& server, int port);

}  // namespace seatenrol

#endif
