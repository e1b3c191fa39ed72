#include "rest/RestQueryBuilder.hpp"

#include <algorithm>
#include <set>

#include "ColumnList.hpp"
#include "FieldNames.hpp"
#include "helpers/HTTPFieldsBridging.hpp"

namespace zirudeze::rest {
namespace {

using Method = helpers::HTTPRequest::Method;

// The sorted union of the keys of an array of objects; nothing for anything else.
std::optional<std::string> columnsOf(const velmoria::base::Json& values) {
  // An empty array has no keys: an empty "columns" would ask for rows without a single column, while
  // leaving the item out lets the service insert nothing.
  if (!values.is_array() || values.empty()) return std::nullopt;
  std::set<std::string> keys;
  for (const auto& element : values) {
    if (!element.is_object()) return std::nullopt;
    for (auto it = element.begin(); it != element.end(); ++it) keys.insert(it.key());
  }
  std::string joined;
  for (const auto& key : keys) {
    if (!joined.empty()) joined += ',';
    joined += key;
  }
  return joined;
}

std::string joined(const std::vector<std::string>& entries) {
  std::string text;
  for (const auto& entry : entries) {
    if (!text.empty()) text += ',';
    text += entry;
  }
  return text;
}

}  // namespace

RestFilterBuilder RestQueryBuilder::filterBuilder() {
  RestFilterBuilder builder(context(), request());
  passErrorTo(builder);
  return builder;
}

RestFilterBuilder RestQueryBuilder::select(std::string_view columns, const SelectOptions& options) {
  change([&](MutableState& state) {
    auto& request = state.request;
    request.method = Method::get();
    helpers::appendOrUpdate(request.query, velmoria::base::URLQueryItem{"select", detail::cleanedColumns(columns)});
    if (options.count)
      request.headers.set(detail::FieldNames::prefer(), "count=" + std::string(rawValue(*options.count)));
    if (options.head) request.method = Method::head();
  });
  return filterBuilder();
}

RestFilterBuilder RestQueryBuilder::delete_(const WriteOptions& options) {
  return write(Statement::remove, std::nullopt, options.returning, options.count, std::nullopt, false);
}

RestFilterBuilder RestQueryBuilder::write(Statement statement, const std::optional<velmoria::base::Json>& values,
                                          std::optional<RestReturningOptions> returning,
                                          std::optional<CountOption> count,
                                          const std::optional<std::string>& onConflict, bool ignoreDuplicates) {
  // Written out before anything changes, so a value the encoder cannot write leaves the builder as it was.
  std::optional<velmoria::base::Data> body;
  if (values) body = velmoria::base::dataFromString(configuration().encoder.dump(*values));
  const bool inserts = statement == Statement::insert || statement == Statement::upsert;

  change([&](MutableState& state) {
    auto& request = state.request;
    request.method = statement == Statement::update   ? Method::patch()
                     : statement == Statement::remove ? Method::delete_()
                                                      : Method::post();
    std::vector<std::string> prefer;
    if (statement == Statement::upsert) {
      prefer.emplace_back(ignoreDuplicates ? "resolution=ignore-duplicates" : "resolution=merge-duplicates");
    }
    if (returning) prefer.push_back("return=" + std::string(rawValue(*returning)));
    if (statement == Statement::upsert && onConflict) {
      helpers::appendOrUpdate(request.query, velmoria::base::URLQueryItem{"on_conflict", *onConflict});
    }
    if (body) request.body = body;
    if (count) prefer.push_back("count=" + std::string(rawValue(*count)));
    if (auto current = request.headers[detail::FieldNames::prefer()]) prefer.insert(prefer.begin(), *current);
    if (!prefer.empty()) request.headers.set(detail::FieldNames::prefer(), joined(prefer));
    if (inserts && values) {
      if (auto columns = columnsOf(*values)) {
        helpers::appendOrUpdate(request.query, velmoria::base::URLQueryItem{"columns", std::move(*columns)});
      }
    }
  });
  return filterBuilder();
}

}  // namespace zirudeze::rest
