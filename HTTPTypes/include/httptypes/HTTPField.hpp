#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "base/Coding.hpp"
#include "httptypes/HTTPFieldName.hpp"
#include "httptypes/Hasher.hpp"
#include "httptypes/ISOLatin1String.hpp"

namespace zirudeze::http::detail {
struct FieldAccess;
}  // namespace zirudeze::http::detail

namespace zirudeze::http {

// A hint for header compression. It is only carried: 0 is the default, 1-3 the other strategies.
struct DynamicTableIndexingStrategy {
  std::uint8_t rawValue = 0;

  friend bool operator==(DynamicTableIndexingStrategy, DynamicTableIndexingStrategy) = default;
  void hash(Hasher& hasher) const noexcept { hasher.combine(rawValue); }
};

// One header field. Every way of setting its value repairs a value that may not go on the wire, so a
// field always holds a writable value.
class HTTPField {
 public:
  using Name = HTTPFieldName;

  // Value from text: bytes that may not appear become blanks, then blanks and tabs are trimmed from both
  // ends when the value was invalid.
  HTTPField(Name name, std::string_view value);

  // Value from wire bytes, repaired as the text form is.
  [[nodiscard]] static HTTPField fromValueBytes(Name name, std::span<const std::uint8_t> bytes);
  // Value from wire bytes that only replaces NUL, CR and LF by blanks; other oddities stay.
  [[nodiscard]] static HTTPField fromLenientValueBytes(Name name, std::span<const std::uint8_t> bytes);

  [[nodiscard]] const Name& name() const noexcept { return name_; }
  void setName(Name name) { name_ = std::move(name); }

  [[nodiscard]] std::string value() const { return rawValue_.string(); }
  void setValue(std::string_view value);
  template <typename Change>
  void modifyValue(Change&& change) {
    std::string text = value();
    std::forward<Change>(change)(text);
    setValue(text);
  }

  [[nodiscard]] DynamicTableIndexingStrategy indexingStrategy() const noexcept { return indexingStrategy_; }
  void setIndexingStrategy(DynamicTableIndexingStrategy strategy) noexcept { indexingStrategy_ = strategy; }

  [[nodiscard]] const ISOLatin1String& rawValue() const noexcept { return rawValue_; }

  // Lends the value's wire bytes to the body for the duration of the call.
  template <typename Body>
  decltype(auto) withValueBytes(Body&& body) const {
    return rawValue_.withBytes(std::forward<Body>(body));
  }

  // "<raw name>: <value>"
  [[nodiscard]] std::string description() const;

  friend bool operator==(const HTTPField& lhs, const HTTPField& rhs) noexcept {
    return lhs.name_ == rhs.name_ && lhs.indexingStrategy_ == rhs.indexingStrategy_ && lhs.rawValue_ == rhs.rawValue_;
  }

  void hash(Hasher& hasher) const noexcept {
    name_.hash(hasher);
    indexingStrategy_.hash(hasher);
    rawValue_.hash(hasher);
  }

  // Keys "name", "value" (the Latin-1 reading of the wire bytes) and "indexingStrategy" (left out when 0).
  void encode(velmoria::base::Encoder& encoder) const;
  [[nodiscard]] static HTTPField decode(const velmoria::base::Decoder& decoder);

  // The validity rule for wire bytes: no leading or trailing blank or tab, and no control byte other than
  // the tab. The empty value is valid.
  [[nodiscard]] static bool isValidValue(std::string_view bytes) noexcept;

 private:
  friend struct detail::FieldAccess;

  HTTPField(Name name, ISOLatin1String rawValue, DynamicTableIndexingStrategy strategy)
      : name_(std::move(name)), indexingStrategy_(strategy), rawValue_(std::move(rawValue)) {}

  Name name_;
  DynamicTableIndexingStrategy indexingStrategy_;
  ISOLatin1String rawValue_;
};

}  // namespace zirudeze::http

template <>
struct std::hash<zirudeze::http::HTTPField> {
  std::size_t operator()(const zirudeze::http::HTTPField& field) const noexcept {
    return zirudeze::http::Hasher::hashOf(field);
  }
};
