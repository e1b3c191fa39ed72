#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "auth/AuthClient.hpp"
#include "auth/AuthEnumerations.hpp"
#include "base/URL.hpp"
#include "functions/FunctionsClient.hpp"
#include "realtime/RealtimeChannelV2.hpp"
#include "realtime/RealtimeClientV2.hpp"
#include "realtime/legacy/RealtimeClient.hpp"
#include "rest/RestClient.hpp"
#include "rest/RestFilterBuilder.hpp"
#include "rest/RestQueryBuilder.hpp"
#include "storage/ZirudezeStorageClient.hpp"
#include "zirudeze/TokenReceiver.hpp"
#include "zirudeze/ZirudezeClientError.hpp"
#include "zirudeze/ZirudezeClientOptions.hpp"

namespace zirudeze {

// The one entry to a project's backend. It owns the project URL and key, builds every client under the
// URL's service paths with one set of headers (client info, platform, the key as "Apikey" and bearer
// "Authorization", the caller's global headers), and keeps each client authorised: database, functions and
// storage requests leave with the signed-in user's current token whenever one can be had, and every new
// token the auth client announces is pushed to the functions client (and the realtime clients).
//
// The auth client and the legacy realtime client exist from construction; the other clients are built on
// first use, once, under the facade's lock. Safe to use from any thread. Calls that reach the backend block.
class ZirudezeClient : public std::enable_shared_from_this<ZirudezeClient> {
 public:
  // Starts following the auth client's events unless options.auth.accessToken is set. Throws
  // ZirudezeClientError::invalidProjectURL for a URL without a host label (even with a storage key).
  static std::shared_ptr<ZirudezeClient> make(velmoria::base::URL zirudezeURL, std::string zirudezeKey,
                                              ZirudezeClientOptions options = {});
  // The same with stand-ins for the realtime clients' token intake.
  static std::shared_ptr<ZirudezeClient> make(velmoria::base::URL zirudezeURL, std::string zirudezeKey,
                                              ZirudezeClientOptions options, RealtimeTokenReceivers realtimeReceivers);

  // Stops the event listener and waits for it; the clients go with the facade.
  ~ZirudezeClient();
  ZirudezeClient(const ZirudezeClient&) = delete;
  ZirudezeClient& operator=(const ZirudezeClient&) = delete;

  const ZirudezeClientOptions& options() const noexcept;
  const velmoria::base::URL& zirudezeURL() const noexcept;
  const std::string& zirudezeKey() const noexcept;
  // The project URL with "/storage/v1", "/rest/v1" and "/functions/v1" appended.
  const velmoria::base::URL& storageURL() const noexcept;
  const velmoria::base::URL& databaseURL() const noexcept;
  const velmoria::base::URL& functionsURL() const noexcept;

  // With options.auth.accessToken set, every call first reports that the auth client is not meant to be
  // used, then returns it all the same.
  std::shared_ptr<auth::AuthClient> auth() const;
  // Hands a sign-in redirect the app was opened with to the auth client; returns at once, never fails.
  void handle(const velmoria::base::URL& url) const;
  std::shared_ptr<functions::FunctionsClient> functions() const;
  // The legacy realtime socket: under "/realtime/v1", never connected by the facade, given every new token.
  std::shared_ptr<realtime::RealtimeClient> realtime() const;
  std::shared_ptr<storage::ZirudezeStorageClient> storage() const;
  std::shared_ptr<rest::RestClient> rest() const;

  // The headers every client starts from.
  std::map<std::string, std::string> headers() const;

  rest::RestQueryBuilder from(std::string_view table) const;
  template <class Params>
  rest::RestFilterBuilder rpc(std::string_view function, const Params& params,
                              const rest::RpcOptions& options = {}) const {
    return rest()->rpc(function, params, options);
  }
  rest::RestFilterBuilder rpc(std::string_view function, const rest::RpcOptions& options = {}) const;
  rest::RestClient schema(std::string schema) const;

  // The current realtime client, built on first use (or at the first token push) for the project URL with
  // "/realtime/v1": the realtime options with the facade's headers over theirs, the global logger when they
  // name none, and a token provider asking the auth client (a provider of their own is kept, and reported).
  std::shared_ptr<realtime::RealtimeClientV2> realtimeV2() const;
  // The current realtime client's registered channels, in registration order.
  std::vector<std::shared_ptr<realtime::RealtimeChannelV2>> channels() const;
  std::shared_ptr<realtime::RealtimeChannelV2> channel(
      const std::string& name, const std::function<void(realtime::RealtimeChannelConfig&)>& configure = {}) const;
  // Both block until the channels are left (each at most the realtime timeout).
  void removeChannel(const std::shared_ptr<realtime::RealtimeChannelV2>& channel) const;
  void removeAllChannels() const;

  // "X-Client-Info", "X-Zirudeze-Client-Platform" and "X-Zirudeze-Client-Platform-Version"; made once.
  static const std::map<std::string, std::string>& defaultHeaders();
  // The events whose session's token is pushed when it changed.
  static constexpr std::array<auth::AuthChangeEvent, 3> tokenPushEvents{
      auth::AuthChangeEvent::initialSession, auth::AuthChangeEvent::signedIn, auth::AuthChangeEvent::tokenRefreshed};

 private:
  struct State;

  ZirudezeClient(velmoria::base::URL zirudezeURL, std::string zirudezeKey, ZirudezeClientOptions options,
                 RealtimeTokenReceivers realtimeReceivers);

  void startListening();

  std::shared_ptr<State> state_;
};

}  // namespace zirudeze
