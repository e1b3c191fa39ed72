#include "rest/RestFilterBuilder.hpp"

#include "RawValues.hpp"

namespace zirudeze::rest {
namespace {

constexpr std::pair<Operator, std::string_view> kOperators[] = {
    {Operator::eq, "eq"},         {Operator::neq, "neq"},     {Operator::gt, "gt"},
    {Operator::gte, "gte"},       {Operator::lt, "lt"},       {Operator::lte, "lte"},
    {Operator::like, "like"},     {Operator::ilike, "ilike"}, {Operator::match, "match"},
    {Operator::imatch, "imatch"}, {Operator::is, "is"},       {Operator::isdistinct, "isdistinct"},
    {Operator::in, "in"},         {Operator::cs, "cs"},       {Operator::cd, "cd"},
    {Operator::sl, "sl"},         {Operator::sr, "sr"},       {Operator::nxl, "nxl"},
    {Operator::nxr, "nxr"},       {Operator::adj, "adj"},     {Operator::ov, "ov"},
    {Operator::fts, "fts"},       {Operator::plfts, "plfts"}, {Operator::phfts, "phfts"},
    {Operator::wfts, "wfts"}};
constexpr std::pair<TextSearchType, std::string_view> kTextSearchTypes[] = {
    {TextSearchType::plain, "pl"}, {TextSearchType::phrase, "ph"}, {TextSearchType::websearch, "w"}};

std::string textSearchPrefix(std::optional<TextSearchType> type, const std::optional<std::string>& config) {
  std::string prefix = type ? std::string(rawValue(*type)) : std::string();
  prefix += "fts";
  if (config) prefix += "(" + *config + ")";
  return prefix + ".";
}

}  // namespace

std::string_view rawValue(Operator op) noexcept { return velmoria::base::rawValueOf(op, kOperators); }
std::optional<Operator> makeOperator(std::string_view text) noexcept {
  return detail::caseWithRawValue(text, kOperators);
}
std::string_view rawValue(TextSearchType type) noexcept { return velmoria::base::rawValueOf(type, kTextSearchTypes); }
std::optional<TextSearchType> makeTextSearchType(std::string_view text) noexcept {
  return detail::caseWithRawValue(text, kTextSearchTypes);
}

RestFilterBuilder& RestFilterBuilder::append(std::string_view column, std::string_view prefix,
                                             const RestFilterValue& value, std::string_view suffix) {
  change([&](MutableState& state) {
    if (value.error()) {
      fail(state, *value.error());
      return;
    }
    std::string text;
    text.reserve(prefix.size() + value.rawValue().size() + suffix.size());
    text.append(prefix).append(value.rawValue()).append(suffix);
    state.request.query.push_back(velmoria::base::URLQueryItem{std::string(column), std::move(text)});
  });
  return *this;
}

RestFilterBuilder& RestFilterBuilder::not_(std::string_view column, Operator op, const RestFilterValue& value) {
  // A list under "in" is written the same way negated or not.
  return append(column, "not." + std::string(rawValue(op)) + ".", op == Operator::in ? value.inParentheses() : value);
}

RestFilterBuilder& RestFilterBuilder::or_(const RestFilterValue& filters,
                                          const std::optional<std::string>& referencedTable) {
  const std::string key = referencedTable ? *referencedTable + ".or" : std::string("or");
  return append(key, "(", filters, ")");
}

RestFilterBuilder& RestFilterBuilder::eq(std::string_view column, const RestFilterValue& value) {
  return append(column, "eq.", value);
}
RestFilterBuilder& RestFilterBuilder::neq(std::string_view column, const RestFilterValue& value) {
  return append(column, "neq.", value);
}
RestFilterBuilder& RestFilterBuilder::gt(std::string_view column, const RestFilterValue& value) {
  return append(column, "gt.", value);
}
RestFilterBuilder& RestFilterBuilder::gte(std::string_view column, const RestFilterValue& value) {
  return append(column, "gte.", value);
}
RestFilterBuilder& RestFilterBuilder::lt(std::string_view column, const RestFilterValue& value) {
  return append(column, "lt.", value);
}
RestFilterBuilder& RestFilterBuilder::lte(std::string_view column, const RestFilterValue& value) {
  return append(column, "lte.", value);
}

RestFilterBuilder& RestFilterBuilder::like(std::string_view column, const RestFilterValue& pattern) {
  return append(column, "like.", pattern);
}
RestFilterBuilder& RestFilterBuilder::likeAllOf(std::string_view column, const std::vector<RestFilterValue>& patterns) {
  return append(column, "like(all).", RestFilterValue::array(patterns));
}
RestFilterBuilder& RestFilterBuilder::likeAnyOf(std::string_view column, const std::vector<RestFilterValue>& patterns) {
  return append(column, "like(any).", RestFilterValue::array(patterns));
}
RestFilterBuilder& RestFilterBuilder::ilike(std::string_view column, const RestFilterValue& pattern) {
  return append(column, "ilike.", pattern);
}
RestFilterBuilder& RestFilterBuilder::ilikeAllOf(std::string_view column,
                                                 const std::vector<RestFilterValue>& patterns) {
  return append(column, "ilike(all).", RestFilterValue::array(patterns));
}
RestFilterBuilder& RestFilterBuilder::ilikeAnyOf(std::string_view column,
                                                 const std::vector<RestFilterValue>& patterns) {
  return append(column, "ilike(any).", RestFilterValue::array(patterns));
}
RestFilterBuilder& RestFilterBuilder::match(std::string_view column, const RestFilterValue& pattern) {
  return append(column, "match.", pattern);
}
RestFilterBuilder& RestFilterBuilder::imatch(std::string_view column, const RestFilterValue& pattern) {
  return append(column, "imatch.", pattern);
}

RestFilterBuilder& RestFilterBuilder::is(std::string_view column, std::optional<bool> value) {
  return append(column, "is.", value ? RestFilterValue(*value) : RestFilterValue(std::nullopt));
}
RestFilterBuilder& RestFilterBuilder::isDistinct(std::string_view column, const RestFilterValue& value) {
  return append(column, "isdistinct.", value);
}

RestFilterBuilder& RestFilterBuilder::in(std::string_view column, const std::vector<RestFilterValue>& values) {
  return append(column, "in.(", RestFilterValue::joined(values), ")");
}

RestFilterBuilder& RestFilterBuilder::contains(std::string_view column, const RestFilterValue& value) {
  return append(column, "cs.", value);
}
RestFilterBuilder& RestFilterBuilder::containedBy(std::string_view column, const RestFilterValue& value) {
  return append(column, "cd.", value);
}
RestFilterBuilder& RestFilterBuilder::rangeLt(std::string_view column, const RestFilterValue& range) {
  return append(column, "sl.", range);
}
RestFilterBuilder& RestFilterBuilder::rangeGt(std::string_view column, const RestFilterValue& range) {
  return append(column, "sr.", range);
}
RestFilterBuilder& RestFilterBuilder::rangeGte(std::string_view column, const RestFilterValue& range) {
  return append(column, "nxl.", range);
}
RestFilterBuilder& RestFilterBuilder::rangeLte(std::string_view column, const RestFilterValue& range) {
  return append(column, "nxr.", range);
}
RestFilterBuilder& RestFilterBuilder::rangeAdjacent(std::string_view column, const RestFilterValue& range) {
  return append(column, "adj.", range);
}
RestFilterBuilder& RestFilterBuilder::overlaps(std::string_view column, const RestFilterValue& value) {
  return append(column, "ov.", value);
}

RestFilterBuilder& RestFilterBuilder::textSearch(std::string_view column, const RestFilterValue& query,
                                                 const std::optional<std::string>& config,
                                                 std::optional<TextSearchType> type) {
  return append(column, textSearchPrefix(type, config), query);
}
RestFilterBuilder& RestFilterBuilder::fts(std::string_view column, const RestFilterValue& query,
                                          const std::optional<std::string>& config) {
  return textSearch(column, query, config, std::nullopt);
}
RestFilterBuilder& RestFilterBuilder::plfts(std::string_view column, const RestFilterValue& query,
                                            const std::optional<std::string>& config) {
  return textSearch(column, query, config, TextSearchType::plain);
}
RestFilterBuilder& RestFilterBuilder::phfts(std::string_view column, const RestFilterValue& query,
                                            const std::optional<std::string>& config) {
  return textSearch(column, query, config, TextSearchType::phrase);
}
RestFilterBuilder& RestFilterBuilder::wfts(std::string_view column, const RestFilterValue& query,
                                           const std::optional<std::string>& config) {
  return textSearch(column, query, config, TextSearchType::websearch);
}

RestFilterBuilder& RestFilterBuilder::filter(std::string_view column, std::string_view op, std::string_view value) {
  return append(column, std::string(op) + ".", RestFilterValue(value));
}

RestFilterBuilder& RestFilterBuilder::matchColumns(const std::map<std::string, RestFilterValue>& query) {
  for (const auto& [column, value] : query) append(column, "eq.", value);
  return *this;
}

}  // namespace zirudeze::rest
