#pragma once

#include <stdexcept>
#include <string>

#include "base/coding/CodingKey.hpp"

namespace velmoria::base {

struct CodingErrorContext {
  CodingPath codingPath;
  std::string debugDescription;
};

// A value could not be read: the four kinds a JSON decoder reports, with the path where it happened.
class DecodingError : public std::runtime_error {
 public:
  enum class Kind { typeMismatch, valueNotFound, keyNotFound, dataCorrupted };

  static DecodingError typeMismatch(std::string expectedType, CodingErrorContext context);
  static DecodingError valueNotFound(std::string expectedType, CodingErrorContext context);
  static DecodingError keyNotFound(CodingKey key, CodingErrorContext context);
  static DecodingError dataCorrupted(CodingErrorContext context);

  Kind kind() const { return kind_; }
  const CodingErrorContext& context() const { return context_; }
  const CodingPath& codingPath() const { return context_.codingPath; }
  const std::string& debugDescription() const { return context_.debugDescription; }
  // The type expected (typeMismatch, valueNotFound) or the missing key's text (keyNotFound).
  const std::string& subject() const { return subject_; }

  // The platform's user-facing text for this kind of failure.
  std::string localizedDescription() const;

 private:
  DecodingError(Kind kind, std::string subject, CodingErrorContext context);

  Kind kind_;
  std::string subject_;
  CodingErrorContext context_;
};

// A value could not be written (a non-finite number, a value a strategy refuses).
class EncodingError : public std::runtime_error {
 public:
  static EncodingError invalidValue(std::string valueDescription, CodingErrorContext context);

  const CodingErrorContext& context() const { return context_; }
  const std::string& debugDescription() const { return context_.debugDescription; }
  std::string localizedDescription() const;

 private:
  EncodingError(std::string valueDescription, CodingErrorContext context);

  std::string valueDescription_;
  CodingErrorContext context_;
};

}  // namespace velmoria::base
