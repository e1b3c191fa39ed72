#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "base/Data.hpp"
#include "base/URL.hpp"
#include "base/coding/JSONCoders.hpp"
#include "concurrency/AsyncStream.hpp"
#include "functions/FunctionInvokeOptions.hpp"
#include "functions/FunctionRegion.hpp"
#include "functions/FunctionsError.hpp"
#include "helpers/HTTPClient.hpp"
#include "helpers/HTTPTransport.hpp"
#include "helpers/ZirudezeLogger.hpp"
#include "httptypes/HTTPFields.hpp"

namespace zirudeze::functions {

// Invokes the backend's edge functions under one base URL. Every invocation carries the client's
// headers; only setAuth changes them. Calls block the calling thread and follow the current task's
// cancellation; any number may run at once from any thread.
class FunctionsClient {
 public:
  // Seconds each invocation may stay silent.
  static constexpr double requestTimeout = 150;

  // A caller's "X-Client-Info" (any letter case) stays; otherwise "functions-cpp/<version>" is added. With a
  // logger every non-streamed invocation is logged.
  FunctionsClient(velmoria::base::URL url, const std::map<std::string, std::string>& headers = {},
                  RegionText region = {}, std::shared_ptr<const helpers::ZirudezeLogger> logger = nullptr,
                  helpers::FetchOperation fetch = helpers::HTTPClient::defaultFetch());
  ~FunctionsClient();
  FunctionsClient(const FunctionsClient&) = delete;
  FunctionsClient& operator=(const FunctionsClient&) = delete;

  const velmoria::base::URL& url() const noexcept;
  const std::optional<std::string>& region() const noexcept;
  // A copy of the headers every invocation starts from.
  http::HTTPFields headers() const;

  // "Authorization" becomes "Bearer <token>"; without a token every "Authorization" field goes.
  void setAuth(const std::optional<std::string>& token);

  // The body decoded as T. Statuses outside 200...299 throw FunctionsError::httpError with the body, an
  // "x-relay-error" of exactly "true" throws relayError; transport and decoding errors pass unchanged.
  template <class T>
  T invoke(std::string_view functionName, const FunctionInvokeOptions& options,
           const velmoria::base::JSONDecoder& decoder = {}) const {
    const auto response = rawInvoke(functionName, options);
    return decoder.decode<T>(response.data);
  }

  // What `decode` makes of the body and the response.
  template <class Decode>
  requires std::is_invocable_v<Decode&, const velmoria::base::Data&, const helpers::HTTPURLResponse&>
  auto invoke(std::string_view functionName, const FunctionInvokeOptions& options, Decode&& decode) const {
    const auto response = rawInvoke(functionName, options);
    return decode(response.data, response.underlyingResponse);
  }

  // Nothing but the checks.
  void invoke(std::string_view functionName, const FunctionInvokeOptions& options = {}) const;

  // The body as it arrives, over a transfer of its own that bypasses the fetch and logger this client was
  // built with. Returns at once. The stream ends with FunctionsError::httpError (empty body) or relayError
  // before any chunk when the answer is refused, with the transport's error when the transfer fails, and
  // normally after the last chunk. However it ends (a consumer that stops reading included), the transfer
  // stops.
  concurrency::AsyncThrowingStream<velmoria::base::Data> invokeWithStreamedResponse(
      std::string_view functionName, const FunctionInvokeOptions& options = {}) const;

 private:
  helpers::HTTPResponse rawInvoke(std::string_view functionName, const FunctionInvokeOptions& options) const;

  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zirudeze::functions
