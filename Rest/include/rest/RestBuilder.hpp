#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "base/Data.hpp"
#include "helpers/HTTPRequest.hpp"
#include "rest/FetchOptions.hpp"
#include "rest/RestClientConfiguration.hpp"
#include "rest/RestResponse.hpp"
#include "rest/TypeName.hpp"

namespace zirudeze::rest {

// An argument a builder could not turn into a request. The builder keeps the first one and every
// execute throws it before anything is sent.
class RestBuilderError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The base of every database request builder: the request under construction, its completion and
// execution. A builder is a handle: copies share one request, and every operation runs under the
// builder's lock, so one builder may be used from several threads.
class RestBuilder {
 public:
  struct MutableState {
    helpers::HTTPRequest request;
    FetchOptions fetchOptions;
    std::optional<std::string> firstError;
  };

  // A configuration with what every request made from it shares; made by the client once per change.
  struct Context;

  RestBuilder(RestClientConfiguration configuration, helpers::HTTPRequest request);
  RestBuilder(std::shared_ptr<const Context> context, helpers::HTTPRequest request);

  // The client's configuration as it was when this builder was made.
  const RestClientConfiguration& configuration() const noexcept;
  // Copies taken under the lock.
  MutableState state() const;
  helpers::HTTPRequest request() const;

  // Replaces every field of that name. A name that is not a header token is kept as the builder's error.
  RestBuilder& setHeader(std::string_view name, std::string_view value);

  // Sends the completed request; a 2xx body is decoded as `Value` with the configuration's decoder.
  // Throws RestBuilderError (nothing sent), transport errors, RestError or HTTPError for other
  // statuses, and the decoder's error.
  template <class Value>
  RestResponse<Value> execute(FetchOptions options = {}) {
    return executeWithDecoder(options, [this](const velmoria::base::Data& data) { return decodeBody<Value>(data); });
  }

  // The same with the caller's decoding step.
  template <class Decode>
  auto executeWithDecoder(FetchOptions options, Decode&& decode)
      -> RestResponse<std::decay_t<std::invoke_result_t<Decode&, const velmoria::base::Data&>>> {
    RestResponse<void> answer = send(options);
    auto value = std::forward<Decode>(decode)(answer.data);
    return {std::move(answer), std::move(value)};
  }

  // The same without decoding the body.
  RestResponse<void> executeDiscardingValue(FetchOptions options = {});

 protected:
  // Runs `change` on the state under the builder's lock.
  void change(const std::function<void(MutableState&)>& change);
  // Keeps `message` unless an earlier error is kept already.
  static void fail(MutableState& state, std::string message);
  // Gives `target` this builder's kept error, if any, so a derived statement fails the same way.
  void passErrorTo(RestBuilder& target) const;
  const std::shared_ptr<const Context>& context() const noexcept;

 private:
  RestResponse<void> send(const FetchOptions& options);

  template <class Value>
  Value decodeBody(const velmoria::base::Data& data) const {
    try {
      return configuration().decoder.template decode<Value>(data);
    } catch (const std::exception& error) {
      logDecodeFailure(unqualifiedTypeName<Value>(), error);
      throw;
    }
  }
  void logDecodeFailure(const std::string& typeName, const std::exception& error) const;

  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace zirudeze::rest
