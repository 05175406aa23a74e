// The folders the host chose for the stored server list and for the log,
// in place of the defaults. Process-wide; any thread may set or read them.
#ifndef SEATENROL_PLATFORM_CHOSEN_DIRECTORY_H
#define SEATENROL_PLATFORM_CHOSEN_DIRECTORY_H

#include <string>

namespace seatenrol {

enum class ChosenFolder { kStore, kLog };

// Sets the folder (UTF-8) for which; null clears the choice. The caller has
// checked that the folder exists. Throws std::bad_alloc when out of memory,
// leaving the old choice.
void SetChosenDirectory(ChosenFolder which, const char* directory);

// The folder chosen for which, copied out; false when none is chosen.
// Throws std::bad_alloc when out of memory.
bool ChosenDirectory(ChosenFolder which, std::string& directory);

}  // namespace seatenrol

#endif
