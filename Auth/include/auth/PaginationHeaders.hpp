#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zirudeze::auth {

// The page numbers a list answer's "link" header names.
struct PageLinks {
  std::optional<std::int64_t> nextPage;
  std::int64_t lastPage = 0;

  bool operator==(const PageLinks&) const = default;
};

// The "x-total-count" header: the whole text as a base-10 integer (an optional sign, then digits);
// 0 for anything else, out-of-range numbers included.
std::int64_t totalCount(std::optional<std::string_view> header);

// The "link" header's pieces ("<...?page=N&...>; rel=\"next\"", ...), split at "," then ";" and "=": a
// piece's page is the leading digits after the first "=" of its target, its relation the text after
// the "=" of its second part, compared as written with "\"next\"" and "\"last\"". Later pieces win;
// a piece that lacks a separator is skipped.
PageLinks pageLinks(std::optional<std::string_view> header);

}  // namespace zirudeze::auth
