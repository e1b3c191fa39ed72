#include "AdminList.hpp"

#include <string>

#include "AuthRequest.hpp"

namespace zirudeze::auth::detail {
namespace {

std::string pageText(const std::optional<std::int64_t>& value) {
  return value ? std::to_string(*value) : std::string();
}

const http::HTTPField::Name& totalCountName() {
  static const http::HTTPField::Name name = *http::HTTPField::Name::make("x-total-count");
  return name;
}

const http::HTTPField::Name& linkName() {
  static const http::HTTPField::Name name = *http::HTTPField::Name::make("link");
  return name;
}

}  // namespace

ListedPage listPage(const Dependencies& dependencies, std::string_view path, const std::optional<PageParams>& params) {
  const PageParams page = params.value_or(PageParams{});
  auto response =
      dependencies.api.execute(plainRequest(dependencies.configuration, path, helpers::HTTPRequest::Method::get(),
                                            {{"page", pageText(page.page)}, {"per_page", pageText(page.perPage)}}));
  const auto total = response.headers[totalCountName()];
  const auto links = response.headers[linkName()];
  return ListedPage{
      .response = std::move(response),
      .links = pageLinks(links ? std::optional<std::string_view>(*links) : std::nullopt),
      .total = totalCount(total ? std::optional<std::string_view>(*total) : std::nullopt),
  };
}

}  // namespace zirudeze::auth::detail
