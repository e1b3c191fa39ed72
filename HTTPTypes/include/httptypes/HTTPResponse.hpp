#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>

#include "base/Coding.hpp"
#include "httptypes/HTTPFields.hpp"
#include "httptypes/HTTPResponsePseudoHeaderFields.hpp"
#include "httptypes/HTTPResponseStatus.hpp"
#include "httptypes/Hasher.hpp"

namespace zirudeze::http {

// One response head: the status (as the ":status" field plus a reason phrase) and the header fields.
class HTTPResponse {
 public:
  using Status = HTTPResponseStatus;
  using PseudoHeaderFields = HTTPResponsePseudoHeaderFields;

  // The one decoding failure of a response that is not a coder error: a reason phrase with control
  // characters.
  class DecodingError : public std::runtime_error {
   public:
    enum class Case { invalidReasonPhrase };

    static DecodingError invalidReasonPhrase(std::string phrase);

    [[nodiscard]] Case kind() const noexcept { return Case::invalidReasonPhrase; }
    [[nodiscard]] const std::string& phrase() const noexcept { return phrase_; }

   private:
    explicit DecodingError(std::string phrase);
    std::string phrase_;
  };

  explicit HTTPResponse(const Status& status, HTTPFields headerFields = {});

  [[nodiscard]] Status status() const;
  void setStatus(const Status& status);

  [[nodiscard]] const PseudoHeaderFields& pseudoHeaderFields() const noexcept { return pseudoHeaderFields_; }
  [[nodiscard]] PseudoHeaderFields& pseudoHeaderFields() noexcept { return pseudoHeaderFields_; }
  void setPseudoHeaderFields(PseudoHeaderFields fields) { pseudoHeaderFields_ = std::move(fields); }

  [[nodiscard]] const HTTPFields& headerFields() const noexcept { return headerFields_; }
  [[nodiscard]] HTTPFields& headerFields() noexcept { return headerFields_; }
  void setHeaderFields(HTTPFields fields) { headerFields_ = std::move(fields); }

  // The reason phrase is not compared.
  friend bool operator==(const HTTPResponse&, const HTTPResponse&) = default;
  void hash(Hasher& hasher) const noexcept {
    pseudoHeaderFields_.hash(hasher);
    headerFields_.hash(hasher);
  }

  // "200 OK"
  [[nodiscard]] std::string debugDescription() const { return status().description(); }

  // Keys "pseudoHeaderFields" (an array holding the status field), "reasonPhrase" and "headerFields".
  void encode(velmoria::base::Encoder& encoder) const;
  [[nodiscard]] static HTTPResponse decode(const velmoria::base::Decoder& decoder);

 private:
  HTTPResponse(PseudoHeaderFields pseudoHeaderFields, HTTPFields headerFields)
      : pseudoHeaderFields_(std::move(pseudoHeaderFields)), headerFields_(std::move(headerFields)) {}

  PseudoHeaderFields pseudoHeaderFields_;
  HTTPFields headerFields_;
};

}  // namespace zirudeze::http

template <>
struct std::hash<zirudeze::http::HTTPResponse> {
  std::size_t operator()(const zirudeze::http::HTTPResponse& response) const noexcept {
    return zirudeze::http::Hasher::hashOf(response);
  }
};
