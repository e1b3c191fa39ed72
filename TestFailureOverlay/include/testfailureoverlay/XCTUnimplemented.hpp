#pragma once

#include <functional>
#include <string>
#include <type_traits>
#include <utility>

#include "issuereporting/Unimplemented.hpp"
#include "testfailureoverlay/Placeholder.hpp"

// Issue reporting's names are this library's own.
namespace zirudeze::testfailureoverlay {
using namespace ::zirudeze::issuereporting;
}  // namespace zirudeze::testfailureoverlay

namespace zirudeze::testfailureoverlay::detail {
using namespace ::zirudeze::issuereporting::detail;

// Stops with advice to supply a placeholder, at the endpoint's definition.
[[noreturn]] void placeholderMissing(const std::string& description, const DefinitionSite& site);

// Where the suspending throwing form reports from.
DefinitionSite overlayDefinitionSite();

template <class Sig>
struct GeneratedPlaceholderFactory;

template <class R, class... Args>
struct GeneratedPlaceholderFactory<R(Args...)> {
  static std::function<R(Args...)> make(Description description, DefinitionSite site) {
    return [description = std::move(description), site](Args... arguments) -> R {
      reportUnimplemented(description, site, arguments...);
      if constexpr (!std::is_void_v<R>) {
        try {
          return generatePlaceholder<R>();
        } catch (const PlaceholderGenerationFailure&) {
          placeholderMissing(description(), site);
        }
      }
    };
  }
};

}  // namespace zirudeze::testfailureoverlay::detail

namespace zirudeze::testfailureoverlay {

// The older spellings of unimplemented endpoints.
template <class Sig, class Placeholder>
requires(!std::is_same_v<std::remove_cvref_t<Placeholder>, DefinitionSite>) std::function<Sig> XCTUnimplemented(
    Description description, Placeholder placeholder, DefinitionSite site) {
  return unimplemented<Sig>(std::move(description), std::move(placeholder), site);
}

template <class Sig>
std::function<Sig> XCTUnimplementedThrowing(Description description, DefinitionSite site) {
  return unimplemented<Sig>(std::move(description), site);
}

template <class Sig>
std::function<Sig> XCTUnimplementedThrowing(Description description) {
  return unimplemented<Sig>(std::move(description), detail::overlayDefinitionSite());
}

// Without a placeholder, one is made for the result type; a type that has none stops the program at
// the first call.
template <class Sig>
std::function<Sig> XCTUnimplemented(Description description, DefinitionSite site) {
  return detail::GeneratedPlaceholderFactory<Sig>::make(std::move(description), site);
}

}  // namespace zirudeze::testfailureoverlay
