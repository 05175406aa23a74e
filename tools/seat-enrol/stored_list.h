// The stored server list as the technician sees and edits it.
#ifndef SEATENROL_TOOLS_SEAT_ENROL_STORED_LIST_H
#define SEATENROL_TOOLS_SEAT_ENROL_STORED_LIST_H

#include <ostream>
#include <string>

#include "platform/config_store.h"

namespace seatenrol {

// The first bytes, in hex, of the credential stored for server at port;
// empty when there is none.
std::string StoredCredentialPrefix(const std::string& server, int port);

// Prints where the list is kept, which file was read, and its entries.
// The exit status: 0, or 2 when nothing could be read.
int PrintStoredList(std::ostream& out);

// Removes server:port, or with all every entry, as one exclusive section.
// The exit status: 0 when removed, 2 otherwise (the line says why).
int ForgetServers(std::ostream& out, bool all, const std::string& server, int port);

}  // namespace seatenrol

#endif
