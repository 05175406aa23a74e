#include "enrol-server/venue_table.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/hex.h"
#include "enrol-server/request_decoder.h"

namespace seatenrol {

bool VenueTable::Load(std::istream& in, std::string& error) {
  m_venues.clear();
  std::map<std::string, VenueSecret> venues;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::size_t comment = line.find('#');
    if (comment != std::string::npos) line.erase(comment);
    std::istringstream fields(line);
    std::string venueID, secretText, extra;
    if (!(fields >> venueID)) continue;
    const std::string where = "line " + std::to_string(number) + ": ";
    if (!(fields >> secretText) || (fields >> extra)) {
      error = where + "expected \"VENUE_ID SECRET\"";
      return false;
    }
    if (venueID.size() > kVenueIDWidth) {
      error = where + "venue ID longer than 20 characters";
      return false;
    }
    VenueSecret secret;
    if (!ParseHex(secretText, secret.data(), secret.size())) {
      error = where + "secret is not 64 hex digits";
      return false;
    }
    if (!venues.emplace(venueID, secret).second) {
      error = where + "venue " + venueID + " appears twice";
      return false;
    }
  }
  m_venues.swap(venues);
  return true;
}

bool VenueTable::LoadFile(const std::string& path, std::string& error) {
  m_venues.clear();
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    error = path + " is a directory, not a venue file";
    return false;
  }
  errno = 0;
  std::ifstream in(path);
  if (!in) {
    error = "cannot open " + path + (errno != 0 ? ": " + std::string(std::strerror(errno)) : "");
    return false;
  }
  if (!Load(in, error)) {
    error = path + ": " + error;
    return false;
  }
  if (in.bad()) {
    m_venues.clear();
    error = "cannot read " + path;
    return false;
  }
  if (m_venues.empty()) {
    // A server that knows no venue would refuse every seat.
    error = path + " holds no venue";
    return false;
  }
  return true;
}

const VenueSecret* VenueTable::Find(const std::string& venueID) const {
  const auto found = m_venues.find(venueID);
  return found == m_venues.end() ? nullptr : &found->second;
}

}  // namespace seatenrol
