#pragma once

#include <optional>
#include <span>
#include <stdexcept>

#include "httptypes/HTTPField.hpp"
#include "httptypes/HTTPFields.hpp"
#include "httptypes/HTTPRequest.hpp"
#include "httptypes/HTTPResponse.hpp"

namespace zirudeze::http {

// Turns the flat field list of a decoded HTTP/2 or HTTP/3 header block (pseudo-header fields first) into
// a request, a response or trailer fields, refusing lists that break the protocols' rules.
class HTTPParsedFields {
 public:
  class ParsingError : public std::runtime_error {
   public:
    enum class Case {
      invalidName,  // for producers of field lists; not raised here
      invalidPseudoName,
      invalidPseudoValue,  // for producers of field lists; not raised here
      multiplePseudo,
      pseudoNotFirst,
      requestWithoutMethod,
      invalidMethod,
      requestWithResponsePseudo,
      responseWithoutStatus,
      invalidStatus,
      responseWithRequestPseudo,
      trailerFieldsWithPseudo,
      multipleContentLength,
      multipleContentDisposition,
      multipleLocation,
      tooManyFields,  // more ordinary fields than one list holds
    };

    explicit ParsingError(Case kind);
    [[nodiscard]] Case kind() const noexcept { return kind_; }
    friend bool operator==(const ParsingError& lhs, const ParsingError& rhs) noexcept { return lhs.kind_ == rhs.kind_; }

   private:
    Case kind_;
  };

  [[nodiscard]] static HTTPRequest request(std::span<const HTTPField> fields);
  [[nodiscard]] static HTTPResponse response(std::span<const HTTPField> fields);
  [[nodiscard]] static HTTPFields trailerFields(std::span<const HTTPField> fields);

 private:
  HTTPParsedFields() = default;

  void add(const HTTPField& field);
  void validateFields() const;
  [[nodiscard]] bool hasAnyRequestPseudo() const noexcept;

  std::optional<ISOLatin1String> method_;
  std::optional<ISOLatin1String> scheme_;
  std::optional<ISOLatin1String> authority_;
  std::optional<ISOLatin1String> path_;
  std::optional<ISOLatin1String> extendedConnectProtocol_;
  std::optional<ISOLatin1String> status_;
  HTTPFields fields_;
};

}  // namespace zirudeze::http
