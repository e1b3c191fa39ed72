#pragma once

#include <filesystem>

namespace velmoria::base {

// The user's configuration folder: $XDG_CONFIG_HOME when it is absolute, else ~/.config, with the
// home folder from $HOME or, failing that, the password database. Never a shared folder.
std::filesystem::path xdgConfigHome();
// The user's data folder: $XDG_DATA_HOME when it is absolute, else ~/.local/share, by the same rules.
std::filesystem::path xdgDataHome();

}  // namespace velmoria::base
