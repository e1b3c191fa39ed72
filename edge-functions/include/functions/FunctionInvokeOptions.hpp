#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/Data.hpp"
#include "base/URLComponents.hpp"
#include "base/coding/JSONCoders.hpp"
#include "functions/FunctionRegion.hpp"
#include "httptypes/HTTPFields.hpp"

namespace zirudeze::functions {

// How one function is invoked: method, headers (with the body's content type), body, region and query.
struct FunctionInvokeOptions {
  enum class Method { get, post, put, patch, delete_ };

  // What a caller states; everything left out is absent or empty.
  struct Parameters {
    std::optional<Method> method = std::nullopt;
    std::vector<velmoria::base::URLQueryItem> query = {};
    std::map<std::string, std::string> headers = {};
    RegionText region = {};
  };

  // No method (POST), headers, body, region or query.
  FunctionInvokeOptions() = default;
  // Without a body and so without a content type.
  FunctionInvokeOptions(Parameters parameters);  // NOLINT(google-explicit-constructor): options read as a brace list
  // With a body, whose kind picks the "Content-Type": text "text/plain" (as UTF-8), bytes
  // "application/octet-stream", any other encodable value "application/json" (encoded by a JSON encoder
  // with default settings). A caller's own "Content-Type" wins. A value that cannot be encoded throws the
  // encoder's error rather than going out without a body.
  template <class Body>
  FunctionInvokeOptions(Parameters parameters, const Body& body)
      : FunctionInvokeOptions(std::move(parameters), encodedBody(body)) {}

  std::optional<Method> method;
  http::HTTPFields headers;
  std::optional<velmoria::base::Data> body;
  std::optional<std::string> region;
  std::vector<velmoria::base::URLQueryItem> query;

 private:
  struct EncodedBody {
    std::string_view contentType;
    velmoria::base::Data data;
  };

  FunctionInvokeOptions(Parameters parameters, EncodedBody body);

  template <class Body>
  static EncodedBody encodedBody(const Body& body) {
    if constexpr (std::is_convertible_v<const Body&, std::string_view>) {
      const std::string_view text = body;
      return {"text/plain", velmoria::base::Data(text.begin(), text.end())};
    } else if constexpr (std::is_same_v<Body, velmoria::base::Data>) {
      return {"application/octet-stream", body};
    } else {
      return {"application/json", velmoria::base::JSONEncoder{}.encode(body)};
    }
  }
};

// "GET", "POST", "PUT", "PATCH", "DELETE".
std::string_view rawValue(FunctionInvokeOptions::Method method) noexcept;
// Exactly one of the raw texts (upper case); nothing for any other text.
std::optional<FunctionInvokeOptions::Method> methodFromRawValue(std::string_view text) noexcept;

}  // namespace zirudeze::functions
