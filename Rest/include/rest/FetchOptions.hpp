#pragma once

#include <optional>
#include <string_view>

namespace zirudeze::rest {

// How many rows the service counts for a request ("Prefer: count=...").
enum class CountOption { exact, planned, estimated };

// What a write answers with ("Prefer: return=...").
enum class RestReturningOptions { minimal, representation };

// "exact", "planned", "estimated".
std::string_view rawValue(CountOption option) noexcept;
// "minimal", "representation".
std::string_view rawValue(RestReturningOptions option) noexcept;
// The case whose raw value is exactly `text`, else nothing.
std::optional<CountOption> makeCountOption(std::string_view text) noexcept;
std::optional<RestReturningOptions> makeRestReturningOptions(std::string_view text) noexcept;

// Applied when a request is executed.
struct FetchOptions {
  bool head = false;
  std::optional<CountOption> count{};

  friend bool operator==(const FetchOptions&, const FetchOptions&) = default;
};

}  // namespace zirudeze::rest
