#pragma once

#include <exception>
#include <functional>
#include <string>
#include <utility>

#include "issuereporting/DebugRender.hpp"
#include "issuereporting/ReportIssue.hpp"
#include "issuereporting/SourceLocation.hpp"

namespace zirudeze::issuereporting {

// Thrown by an unimplemented endpoint that was given no failure of its own.
class UnimplementedFailure : public std::exception {
 public:
  explicit UnimplementedFailure(std::string description) : description(std::move(description)) {}
  const char* what() const noexcept override { return description.c_str(); }
  std::string description;
};

// Where an unimplemented endpoint was made: the location and the enclosing function's name.
struct DefinitionSite {
  SourceLocation location;
  const char* function;
};

#define VM_DEFINITION_SITE() (::zirudeze::issuereporting::DefinitionSite{VM_SOURCE_LOCATION(), __func__})

// Evaluated anew on every call; a plain text works too.
class Description {
 public:
  Description(const char* text) : produce_([value = std::string(text)] { return value; }) {}
  Description(std::string text) : produce_([value = std::move(text)] { return value; }) {}
  template <class Produce>
  requires std::is_invocable_r_v<std::string, Produce> Description(Produce produce) : produce_(std::move(produce)) {}

  std::string operator()() const { return produce_(); }

 private:
  std::function<std::string()> produce_;
};

// Marks the failure an unimplemented endpoint throws; `make` returns the exception value.
template <class Make>
struct Throwing {
  Make make;
};
template <class Make>
Throwing(Make) -> Throwing<Make>;

}  // namespace zirudeze::issuereporting

namespace zirudeze::issuereporting::detail {

// "Unimplemented[: description] …", where it was defined, and what it was called with. Always the
// definition's own location, whatever issue context is in force.
std::string unimplementedMessage(const std::string& description, const DefinitionSite& site,
                                 const std::string& renderedArguments);

template <class... Args>
void reportUnimplemented(const Description& description, const DefinitionSite& site, const Args&... arguments) {
  reportIssue(
      [&]() -> std::optional<std::string> {
        return unimplementedMessage(description(), site, debugRenderArguments(arguments...));
      },
      IssueSeverity::error, site.location);
}

template <class Sig>
struct UnimplementedFactory;

template <class R, class... Args>
struct UnimplementedFactory<R(Args...)> {
  template <class Placeholder>
  static std::function<R(Args...)> withPlaceholder(Description description, Placeholder placeholder,
                                                   DefinitionSite site) {
    return [description = std::move(description), placeholder = std::move(placeholder), site](Args... arguments) -> R {
      reportUnimplemented(description, site, arguments...);
      return placeholder();
    };
  }

  static std::function<R(Args...)> throwingFailure(Description description, DefinitionSite site) {
    return [description = std::move(description), site](Args... arguments) -> R {
      reportUnimplemented(description, site, arguments...);
      throw UnimplementedFailure(description());
    };
  }

  template <class Make>
  static std::function<R(Args...)> throwing(Description description, Throwing<Make> failure, DefinitionSite site) {
    return [description = std::move(description), failure = std::move(failure), site](Args... arguments) -> R {
      reportUnimplemented(description, site, arguments...);
      throw failure.make();
    };
  }
};

}  // namespace zirudeze::issuereporting::detail

namespace zirudeze::issuereporting {

// A stand-in endpoint: each call reports where it was defined and how it was called, then returns the
// placeholder's value.
template <class Sig, class Placeholder>
requires(!std::is_same_v<std::remove_cvref_t<Placeholder>, DefinitionSite>) std::function<Sig> unimplemented(
    Description description, Placeholder placeholder, DefinitionSite site) {
  return detail::UnimplementedFactory<Sig>::withPlaceholder(std::move(description), std::move(placeholder), site);
}

// The same, throwing UnimplementedFailure with the description.
template <class Sig>
std::function<Sig> unimplemented(Description description, DefinitionSite site) {
  return detail::UnimplementedFactory<Sig>::throwingFailure(std::move(description), site);
}

// The same, throwing the given failure.
template <class Sig, class Make>
std::function<Sig> unimplemented(Description description, Throwing<Make> failure, DefinitionSite site) {
  return detail::UnimplementedFactory<Sig>::throwing(std::move(description), std::move(failure), site);
}

}  // namespace zirudeze::issuereporting
