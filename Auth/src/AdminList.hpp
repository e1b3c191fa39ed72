#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "auth/Dependencies.hpp"
#include "auth/PaginationHeaders.hpp"
#include "auth/ResendAndSSOTypes.hpp"
#include "helpers/HTTPResponse.hpp"

namespace zirudeze::auth::detail {

// One page of an admin list: the answer, whose body the caller decodes, and the paging its headers name.
struct ListedPage {
  helpers::HTTPResponse response;
  PageLinks links;
  std::int64_t total = 0;
};

// GET `path` with "page" and "per_page" (each empty when not given, never left out).
ListedPage listPage(const Dependencies& dependencies, std::string_view path, const std::optional<PageParams>& params);

}  // namespace zirudeze::auth::detail
