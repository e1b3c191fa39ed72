#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmoria::localbackend {

// One row of table `modes` as the backend is seeded with it.
struct Mode {
  std::string id;
  std::string name;
  bool blockOnMac = true;
};

// The seeded modes: one that blocks the desktop (the default of `start`) and one that does not.
const std::vector<Mode>& seededModes();
const Mode& defaultMode();

// The mode called `nameOrID` (its name in any letter case, or its id, blanks around it ignored); null when
// there is none.
const Mode* findMode(std::string_view nameOrID);

// "\"Deep Work\" (blocks the desktop), \"Reading\" (does not block)".
std::string describeModes();

}  // namespace velmoria::localbackend
