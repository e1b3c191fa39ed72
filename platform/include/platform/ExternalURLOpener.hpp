#pragma once

#include <string_view>

namespace velmoria::platform {

// Hands `url` to the desktop's opener ("xdg-open" on PATH) as its one argument, never through a shell;
// returns at once, and the child is reaped in the background. False when it could not be started, or
// for text that the opener would read as an option (a leading "-").
bool openURLExternally(std::string_view url);

}  // namespace velmoria::platform
