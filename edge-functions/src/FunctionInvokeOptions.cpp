#include "functions/FunctionInvokeOptions.hpp"

#include <array>

#include "helpers/HTTPFieldsBridging.hpp"

namespace zirudeze::functions {
namespace {

using Method = FunctionInvokeOptions::Method;

constexpr std::array<std::pair<Method, std::string_view>, 5> kMethods{{
    {Method::get, "GET"},
    {Method::post, "POST"},
    {Method::put, "PUT"},
    {Method::patch, "PATCH"},
    {Method::delete_, "DELETE"},
}};

}  // namespace

FunctionInvokeOptions::FunctionInvokeOptions(Parameters parameters)
    : method(parameters.method),
      headers(helpers::fieldsFromDictionary(parameters.headers)),
      region(std::move(parameters.region)),
      query(std::move(parameters.query)) {}

FunctionInvokeOptions::FunctionInvokeOptions(Parameters parameters, EncodedBody encoded)
    : FunctionInvokeOptions(Parameters{
          .method = parameters.method, .query = std::move(parameters.query), .region = std::move(parameters.region)}) {
  http::HTTPFields fields;
  fields.set(http::HTTPField::Name::contentType(), encoded.contentType);
  headers = helpers::merging(fields, helpers::fieldsFromDictionary(parameters.headers));
  body = std::move(encoded.data);
}

std::string_view rawValue(Method method) noexcept {
  for (const auto& [candidate, text] : kMethods)
    if (candidate == method) return text;
  return {};
}

std::optional<Method> methodFromRawValue(std::string_view text) noexcept {
  for (const auto& [candidate, raw] : kMethods)
    if (raw == text) return candidate;
  return std::nullopt;
}

}  // namespace zirudeze::functions
