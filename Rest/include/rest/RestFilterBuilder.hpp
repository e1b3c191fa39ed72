#pragma once

#include <array>
#include <concepts>
#include <map>
#include <optional>
#include <ranges>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "rest/RestFilterValue.hpp"
#include "rest/RestTransformBuilder.hpp"

namespace zirudeze::rest {

// The filter operators, in this order, each written as its name.
enum class Operator {
  eq,
  neq,
  gt,
  gte,
  lt,
  lte,
  like,
  ilike,
  match,
  imatch,
  is,
  isdistinct,
  in,
  cs,
  cd,
  sl,
  sr,
  nxl,
  nxr,
  adj,
  ov,
  fts,
  plfts,
  phfts,
  wfts,
};
inline constexpr std::array<Operator, 25> allOperators{
    Operator::eq,  Operator::neq,        Operator::gt,    Operator::gte,   Operator::lt,
    Operator::lte, Operator::like,       Operator::ilike, Operator::match, Operator::imatch,
    Operator::is,  Operator::isdistinct, Operator::in,    Operator::cs,    Operator::cd,
    Operator::sl,  Operator::sr,         Operator::nxl,   Operator::nxr,   Operator::adj,
    Operator::ov,  Operator::fts,        Operator::plfts, Operator::phfts, Operator::wfts};
std::string_view rawValue(Operator op) noexcept;
std::optional<Operator> makeOperator(std::string_view text) noexcept;

// The text-search flavours: "pl", "ph", "w".
enum class TextSearchType { plain, phrase, websearch };
std::string_view rawValue(TextSearchType type) noexcept;
std::optional<TextSearchType> makeTextSearchType(std::string_view text) noexcept;

// Adds row filters as query items "<column>=<operator>.<operand>". Filters always append, so a column
// may carry several; operands are stored as given and encoded once, when the URL is assembled.
class RestFilterBuilder : public detail::TransformOperations<RestFilterBuilder, RestTransformBuilder> {
 public:
  using TransformOperations::TransformOperations;

  RestFilterBuilder& not_(std::string_view column, Operator op, const RestFilterValue& value);
  // "(<filters>)" under "or", or "<referencedTable>.or".
  RestFilterBuilder& or_(const RestFilterValue& filters,
                         const std::optional<std::string>& referencedTable = std::nullopt);

  RestFilterBuilder& eq(std::string_view column, const RestFilterValue& value);
  RestFilterBuilder& neq(std::string_view column, const RestFilterValue& value);
  RestFilterBuilder& gt(std::string_view column, const RestFilterValue& value);
  RestFilterBuilder& gte(std::string_view column, const RestFilterValue& value);
  RestFilterBuilder& lt(std::string_view column, const RestFilterValue& value);
  RestFilterBuilder& lte(std::string_view column, const RestFilterValue& value);

  RestFilterBuilder& like(std::string_view column, const RestFilterValue& pattern);
  RestFilterBuilder& likeAllOf(std::string_view column, const std::vector<RestFilterValue>& patterns);
  RestFilterBuilder& likeAnyOf(std::string_view column, const std::vector<RestFilterValue>& patterns);
  RestFilterBuilder& ilike(std::string_view column, const RestFilterValue& pattern);
  RestFilterBuilder& ilikeAllOf(std::string_view column, const std::vector<RestFilterValue>& patterns);
  RestFilterBuilder& ilikeAnyOf(std::string_view column, const std::vector<RestFilterValue>& patterns);
  RestFilterBuilder& match(std::string_view column, const RestFilterValue& pattern);
  RestFilterBuilder& imatch(std::string_view column, const RestFilterValue& pattern);

  // "is.NULL" for nothing, else "is.true" / "is.false". Only a Bool or nothing is taken.
  RestFilterBuilder& is(std::string_view column, std::optional<bool> value);
  template <class T>
  requires(!std::same_as<std::decay_t<T>, bool> && !std::same_as<std::decay_t<T>, std::optional<bool>> &&
           !std::same_as<std::decay_t<T>, std::nullopt_t>) RestFilterBuilder& is(std::string_view, T&&) = delete;
  RestFilterBuilder& isDistinct(std::string_view column, const RestFilterValue& value);

  // "in.(<values joined with ",">)".
  RestFilterBuilder& in(std::string_view column, const std::vector<RestFilterValue>& values);
  template <std::ranges::input_range Values>
  requires std::constructible_from<RestFilterValue, std::ranges::range_reference_t<const Values>> &&
      (!std::same_as<std::decay_t<Values>, std::vector<RestFilterValue>>)RestFilterBuilder& in(std::string_view column,
                                                                                               const Values& values) {
    std::vector<RestFilterValue> rendered;
    if constexpr (std::ranges::sized_range<const Values>) rendered.reserve(std::ranges::size(values));
    for (auto&& value : values) rendered.emplace_back(value);
    return in(column, rendered);
  }

  RestFilterBuilder& contains(std::string_view column, const RestFilterValue& value);
  RestFilterBuilder& containedBy(std::string_view column, const RestFilterValue& value);
  RestFilterBuilder& rangeLt(std::string_view column, const RestFilterValue& range);
  RestFilterBuilder& rangeGt(std::string_view column, const RestFilterValue& range);
  RestFilterBuilder& rangeGte(std::string_view column, const RestFilterValue& range);
  RestFilterBuilder& rangeLte(std::string_view column, const RestFilterValue& range);
  RestFilterBuilder& rangeAdjacent(std::string_view column, const RestFilterValue& range);
  RestFilterBuilder& overlaps(std::string_view column, const RestFilterValue& value);

  // "[pl|ph|w]fts[(<config>)].<query>".
  RestFilterBuilder& textSearch(std::string_view column, const RestFilterValue& query,
                                const std::optional<std::string>& config = std::nullopt,
                                std::optional<TextSearchType> type = std::nullopt);
  RestFilterBuilder& fts(std::string_view column, const RestFilterValue& query,
                         const std::optional<std::string>& config = std::nullopt);
  RestFilterBuilder& plfts(std::string_view column, const RestFilterValue& query,
                           const std::optional<std::string>& config = std::nullopt);
  RestFilterBuilder& phfts(std::string_view column, const RestFilterValue& query,
                           const std::optional<std::string>& config = std::nullopt);
  RestFilterBuilder& wfts(std::string_view column, const RestFilterValue& query,
                          const std::optional<std::string>& config = std::nullopt);

  // "<op>.<value>", both as given.
  RestFilterBuilder& filter(std::string_view column, std::string_view op, std::string_view value);
  // One "eq." item per entry, in key order.
  RestFilterBuilder& matchColumns(const std::map<std::string, RestFilterValue>& query);

 private:
  RestFilterBuilder& append(std::string_view column, std::string_view prefix, const RestFilterValue& value,
                            std::string_view suffix = {});
};

}  // namespace zirudeze::rest
