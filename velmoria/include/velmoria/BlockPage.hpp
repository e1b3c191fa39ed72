#pragma once

#include <string_view>

namespace velmoria {

// The local page blocked browser tabs are sent to; it shows the "site" query parameter as text.
std::string_view blockPageHTML();

inline constexpr std::string_view blockPageFileName = "velmoria-blocked.html";

}  // namespace velmoria
