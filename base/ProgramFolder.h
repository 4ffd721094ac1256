// The program folder (the folder of the running executable, with a trailing '/') and the
// folder where settings and logs are written.
#pragma once

#include <string>

namespace zov {

// Folder of the running executable, ending in '/'. Empty when it cannot be found.
std::string ProgramFolder();

// Shipped data files live in ProgramFolder() + "data/".
std::string DataFolder();

// The program folder when it is writable, else $XDG_CONFIG_HOME/zov-recorder/ (or
// ~/.config/zov-recorder/), created on demand. Ends in '/'.
std::string WritableFolder();

} // namespace zov
