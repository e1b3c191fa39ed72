#include "rest/FetchOptions.hpp"

#include "RawValues.hpp"

namespace zirudeze::rest {
namespace {

constexpr std::pair<CountOption, std::string_view> kCountOptions[] = {
    {CountOption::exact, "exact"}, {CountOption::planned, "planned"}, {CountOption::estimated, "estimated"}};
constexpr std::pair<RestReturningOptions, std::string_view> kReturningOptions[] = {
    {RestReturningOptions::minimal, "minimal"}, {RestReturningOptions::representation, "representation"}};

}  // namespace

std::string_view rawValue(CountOption option) noexcept { return velmoria::base::rawValueOf(option, kCountOptions); }
std::string_view rawValue(RestReturningOptions option) noexcept {
  return velmoria::base::rawValueOf(option, kReturningOptions);
}
std::optional<CountOption> makeCountOption(std::string_view text) noexcept {
  return detail::caseWithRawValue(text, kCountOptions);
}
std::optional<RestReturningOptions> makeRestReturningOptions(std::string_view text) noexcept {
  return detail::caseWithRawValue(text, kReturningOptions);
}

}  // namespace zirudeze::rest
