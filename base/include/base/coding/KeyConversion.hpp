#pragma once

#include <string>
#include <string_view>

namespace velmoria::base {

// "userID" -> "user_id", "myURLValue" -> "my_url_value"; leading/trailing underscores kept.
std::string convertToSnakeCase(std::string_view key);

// "user_id" -> "userId", "_a_b_" -> "_aB_"; a key without inner underscores is kept as it is.
std::string convertFromSnakeCase(std::string_view key);

}  // namespace velmoria::base
