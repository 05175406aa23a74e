// The venues a management server knows, and each venue's 32-byte secret.
#ifndef SEATENROL_TOOLS_ENROL_SERVER_VENUE_TABLE_H
#define SEATENROL_TOOLS_ENROL_SERVER_VENUE_TABLE_H

#include <array>
#include <istream>
#include <map>
#include <string>

namespace seatenrol {

using VenueSecret = std::array<unsigned char, 32>;

// The venue file: one venue per line, "VENUE_ID SECRET", separated by blanks
// or tabs. VENUE_ID is 1 to 20 characters without blanks or '#'; SECRET is
// the 32-byte secret as 64 hex digits. A '#' starts a comment that runs to
// the end of the line; blank lines are skipped. A venue may appear once.
class VenueTable {
public:
  // Replaces the table with the venues read; false with a message naming
  // the line when the text breaks the format (the table is then empty).
  bool Load(std::istream& in, std::string& error);
  // As Load, and also false with a message for a path that is a directory,
  // cannot be opened or read, or names a file that holds no venue.
  bool LoadFile(const std::string& path, std::string& error);

  // The venue's secret, or null for an unknown venue.
  const VenueSecret* Find(const std::string& venueID) const;
  std::size_t Size() const { return m_venues.size(); }

private:
  std::map<std::string, VenueSecret> m_venues;
};

}  // namespace seatenrol

#endif
