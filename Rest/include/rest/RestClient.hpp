#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/Coding.hpp"
#include "base/URL.hpp"
#include "helpers/HTTPClient.hpp"
#include "helpers/ZirudezeLogger.hpp"
#include "rest/RestClientConfiguration.hpp"
#include "rest/RestDefaults.hpp"
#include "rest/RestFilterBuilder.hpp"
#include "rest/RestQueryBuilder.hpp"

namespace zirudeze::rest {

struct RpcOptions {
  // HEAD wins over GET when both are set. Either sends the parameters as query items.
  bool head = false;
  bool get = false;
  std::optional<CountOption> count{};
};

// The entry to the database REST interface. Every builder it hands out works on a copy of the
// configuration taken when the builder is made, so later changes (a new token) do not reach it.
class RestClient {
 public:
  using Configuration = RestClientConfiguration;

  // A caller's own "X-Client-Info" stays; otherwise the default one is added.
  RestClient(velmoria::base::URL url, std::optional<std::string> schema, std::map<std::string, std::string> headers,
             std::shared_ptr<const helpers::ZirudezeLogger> logger, helpers::FetchOperation fetch,
             velmoria::base::JSONEncoder encoder, velmoria::base::JSONDecoder decoder);
  RestClient(velmoria::base::URL url, std::optional<std::string> schema, std::map<std::string, std::string> headers,
             helpers::FetchOperation fetch, velmoria::base::JSONEncoder encoder, velmoria::base::JSONDecoder decoder);
  explicit RestClient(Configuration configuration);
  RestClient(RestClient&&) noexcept;
  RestClient& operator=(RestClient&&) noexcept;
  ~RestClient();

  // A copy taken under the lock.
  Configuration configuration() const;

  // Sets "Authorization" to "Bearer <token>", or removes it without a token. Only that exact key.
  RestClient& setAuth(const std::optional<std::string>& token);

  // A GET of the table with the client's headers.
  RestQueryBuilder from(std::string_view table) const;

  // Calls a database function. POST with the encoded parameters as the body, or with `get`/`head` the
  // parameters (which must encode to an object) as query items. Encoding errors are thrown.
  template <class Params>
  RestFilterBuilder rpc(std::string_view function, const Params& params, const RpcOptions& options = {}) const {
    return rpcWithEncoded(function, encoder().encodeToJson(params), options);
  }
  RestFilterBuilder rpc(std::string_view function, const RpcOptions& options = {}) const {
    return rpc(function, NoParams{}, options);
  }

  // A new client for another schema; this one is unchanged.
  RestClient schema(std::string schema) const;

 private:
  velmoria::base::JSONEncoder encoder() const;
  RestFilterBuilder rpcWithEncoded(std::string_view function, const velmoria::base::Json& params,
                                   const RpcOptions& options) const;

  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zirudeze::rest
