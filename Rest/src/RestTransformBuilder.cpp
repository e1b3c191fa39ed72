#include "rest/RestTransformBuilder.hpp"

#include <limits>

#include "ColumnList.hpp"
#include "FieldNames.hpp"
#include "helpers/HTTPFieldsBridging.hpp"

namespace zirudeze::rest {
namespace {

using Name = http::HTTPField::Name;

std::string keyFor(std::string_view key, const std::optional<std::string>& referencedTable) {
  return referencedTable ? *referencedTable + "." + std::string(key) : std::string(key);
}

}  // namespace

void RestTransformEdits::applySelect(std::string_view columns) {
  change([&](MutableState& state) {
    helpers::appendOrUpdate(state.request.query,
                            velmoria::base::URLQueryItem{"select", detail::cleanedColumns(columns)});
    helpers::appendOrUpdate(state.request.headers, detail::FieldNames::prefer(), "return=representation");
  });
}

void RestTransformEdits::applyOrder(std::string_view column, const OrderOptions& options) {
  const std::string key = keyFor("order", options.referencedTable);
  const std::string entry = std::string(column) + (options.ascending ? ".asc" : ".desc") +
                            (options.nullsFirst ? ".nullsfirst" : ".nullslast");
  change([&](MutableState& state) {
    for (auto& item : state.request.query) {
      if (item.name != key) continue;
      if (!item.value) break;
      *item.value += "," + entry;
      return;
    }
    state.request.query.push_back(velmoria::base::URLQueryItem{key, entry});
  });
}

void RestTransformEdits::applyLimit(std::int64_t count, const std::optional<std::string>& referencedTable) {
  change([&](MutableState& state) {
    helpers::appendOrUpdate(state.request.query,
                            velmoria::base::URLQueryItem{keyFor("limit", referencedTable), std::to_string(count)});
  });
}

void RestTransformEdits::applyRange(std::int64_t from, std::int64_t to,
                                    const std::optional<std::string>& referencedTable) {
  change([&](MutableState& state) {
    std::int64_t span = 0;
    std::int64_t limit = 0;
    if (__builtin_sub_overflow(to, from, &span) || __builtin_add_overflow(span, 1, &limit)) {
      fail(state, "The range " + std::to_string(from) + "..." + std::to_string(to) +
                      " holds more rows than a 64-bit limit can count");
      return;
    }
    helpers::appendOrUpdate(state.request.query,
                            velmoria::base::URLQueryItem{keyFor("offset", referencedTable), std::to_string(from)});
    helpers::appendOrUpdate(state.request.query,
                            velmoria::base::URLQueryItem{keyFor("limit", referencedTable), std::to_string(limit)});
  });
}

void RestTransformEdits::applyAccept(std::string_view mediaType) {
  change([&](MutableState& state) { state.request.headers.set(Name::accept(), mediaType); });
}

void RestTransformEdits::applyExplain(const ExplainOptions& options) {
  std::string flags;
  const std::pair<bool, std::string_view> words[] = {{options.analyze, "analyze"},
                                                     {options.verbose, "verbose"},
                                                     {options.settings, "settings"},
                                                     {options.buffers, "buffers"},
                                                     {options.wal, "wal"}};
  for (const auto& [on, word] : words) {
    if (!on) continue;
    if (!flags.empty()) flags += '|';
    flags += word;
  }
  change([&](MutableState& state) {
    const std::string forMediaType = state.request.headers[Name::accept()].value_or("application/json");
    state.request.headers.set(Name::accept(), "application/vnd.pgrst.plan+\"" + options.format +
                                                  "\"; for=" + forMediaType + "; options=" + flags + ";");
  });
}

void RestTransformEdits::applyMaxAffected(std::int64_t count) {
  change([&](MutableState& state) {
    helpers::appendOrUpdate(state.request.headers, detail::FieldNames::prefer(), "handling=strict");
    helpers::appendOrUpdate(state.request.headers, detail::FieldNames::prefer(),
                            "max-affected=" + std::to_string(count));
  });
}

}  // namespace zirudeze::rest
