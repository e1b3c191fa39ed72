#include "zirudeze/ZirudezeClient.hpp"

#include <atomic>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "AuthorizingFetch.hpp"
#include "FacadeHeaders.hpp"
#include "TokenChange.hpp"
#include "concurrency/LockIsolated.hpp"
#include "concurrency/Task.hpp"
#include "helpers/ClientVersion.hpp"
#include "helpers/ErrorDescription.hpp"
#include "helpers/HTTPFieldsBridging.hpp"
#include "issuereporting/ReportIssue.hpp"
#include "storage/StorageClientConfiguration.hpp"
#include "storage/StorageCoders.hpp"
#include "storage/StorageHTTPSession.hpp"

namespace zirudeze {
namespace {

// A caller who clears the session gets the process's transport rather than a crash.
ZirudezeClientOptions withSession(ZirudezeClientOptions options) {
  if (!options.global.session) options.global.session = helpers::CurlTransport::shared();
  return options;
}

std::shared_ptr<auth::AuthClient> makeAuthClient(const velmoria::base::URL& zirudezeURL,
                                                 const std::map<std::string, std::string>& headers,
                                                 const std::string& storageKey, const ZirudezeClientOptions& options) {
  return auth::AuthClient::make(auth::AuthClientConfiguration({
      .url = zirudezeURL.appendingPathComponent("/auth/v1"),
      .headers = headers,
      .flowType = options.auth.flowType,
      .redirectToURL = options.auth.redirectToURL,
      .storageKey = storageKey,
      .localStorage = options.auth.storage,
      .logger = options.global.logger,
      .encoder = options.auth.encoder,
      .decoder = options.auth.decoder,
      // The auth client's own requests go out unchanged, and hold the session rather than the facade.
      .fetch = helpers::HTTPClient::fetchOver(options.global.session),
      .autoRefreshToken = options.auth.autoRefreshToken,
      .emitLocalSessionAsInitialSession = options.auth.emitLocalSessionAsInitialSession,
  }));
}

// The legacy socket speaks to the project's realtime service with the facade's headers, also as its params.
std::shared_ptr<realtime::RealtimeClient> makeLegacyRealtimeClient(const velmoria::base::URL& zirudezeURL,
                                                                   const std::map<std::string, std::string>& headers) {
  helpers::JSONObject params;
  for (const auto& [name, value] : headers) params.emplace(name, value);
  return realtime::RealtimeClient::make(zirudezeURL.appendingPathComponent("/realtime/v1").absoluteString(), headers,
                                        std::move(params), std::string(realtime::Defaults::vsn));
}

}  // namespace

// Everything of the facade. The listener holds this, never the facade, so dropping the facade is what
// stops it.
struct ZirudezeClient::State : std::enable_shared_from_this<ZirudezeClient::State> {
  // Everything that changes after construction; read and changed only under the lock.
  struct MutableState {
    std::optional<concurrency::Task<void>> listenForAuthEventsTask;
    std::shared_ptr<storage::ZirudezeStorageClient> storage;
    std::shared_ptr<rest::RestClient> rest;
    std::shared_ptr<functions::FunctionsClient> functions;
    std::shared_ptr<::zirudeze::realtime::RealtimeClientV2> realtimeV2;
    std::optional<std::string> changedAccessToken;
  };

  State(velmoria::base::URL url, std::string key, ZirudezeClientOptions givenOptions)
      : options(withSession(std::move(givenOptions))),
        zirudezeURL(std::move(url)),
        zirudezeKey(std::move(key)),
        storageURL(zirudezeURL.appendingPathComponent("/storage/v1")),
        databaseURL(zirudezeURL.appendingPathComponent("/rest/v1")),
        functionsURL(zirudezeURL.appendingPathComponent("/functions/v1")),
        headers(detail::globalHeaders(defaultHeaders(), zirudezeKey, options.global.headers)),
        headerMap(helpers::dictionary(headers)),
        // Derived whatever the options say, so an unusable URL is refused in every case.
        storageKey(options.auth.storageKey.value_or(detail::defaultStorageKey(zirudezeURL))),
        auth(makeAuthClient(zirudezeURL, headerMap, storageKey, options)),
        realtime(makeLegacyRealtimeClient(zirudezeURL, headerMap)),
        authorizingFetch(
            std::make_shared<const detail::AuthorizingFetch>(options.auth.accessToken, auth, options.global.session)) {}

  // The fetch and upload the database, functions and storage clients send through. They hold the
  // authorising fetch alone, so a client or builder that outlives the facade still sends safely.
  helpers::FetchOperation fetchWithAuth() const {
    return [fetch = authorizingFetch](const helpers::URLRequest& request) { return fetch->fetch(request); };
  }
  storage::StorageHTTPSession::Upload uploadWithAuth() const {
    return [fetch = authorizingFetch](const helpers::URLRequest& request, const velmoria::base::Data& body) {
      return fetch->upload(request, body);
    };
  }

  std::shared_ptr<functions::FunctionsClient> functions() {
    return mutableState.withValue([this](MutableState& state) {
      if (!state.functions) {
        state.functions = std::make_shared<functions::FunctionsClient>(
            functionsURL, headerMap, options.functions.region, options.global.logger, fetchWithAuth());
      }
      return state.functions;
    });
  }

  std::shared_ptr<storage::ZirudezeStorageClient> storage() {
    return mutableState.withValue([this](MutableState& state) {
      if (!state.storage) {
        storage::StorageClientConfiguration configuration(
            storageURL, headerMap, storage::storageJSONEncoder(), storage::storageJSONDecoder(),
            storage::StorageHTTPSession(fetchWithAuth(), uploadWithAuth()), options.global.logger,
            options.storage.useNewHostname);
        configuration.hostRewrite = options.storage.hostRewrite;
        state.storage = std::make_shared<storage::ZirudezeStorageClient>(std::move(configuration));
      }
      return state.storage;
    });
  }

  std::shared_ptr<rest::RestClient> rest() {
    return mutableState.withValue([this](MutableState& state) {
      if (!state.rest) {
        state.rest =
            std::make_shared<rest::RestClient>(databaseURL, options.db.schema, headerMap, options.global.logger,
                                               fetchWithAuth(), options.db.encoder, options.db.decoder);
      }
      return state.rest;
    });
  }

  std::shared_ptr<::zirudeze::realtime::RealtimeClientV2> realtimeV2() {
    return mutableState.withValue([this](MutableState& state) {
      if (!state.realtimeV2) state.realtimeV2 = makeRealtimeV2();
      return state.realtimeV2;
    });
  }

  std::shared_ptr<::zirudeze::realtime::RealtimeClientV2> makeRealtimeV2() {
    ::zirudeze::realtime::RealtimeClientOptions settings = options.realtime;
    settings.headers = helpers::merging(settings.headers, headers);
    if (!settings.logger) settings.logger = options.global.logger;
    if (settings.accessToken) {
      VM_REPORT_ISSUE(
          "You assigned a custom `accessToken` closure to the RealtimeClientV2. This might not work as you expect\nas "
          "ZirudezeClient uses Auth for pulling an access token to send on the realtime channels.\n\nPlease make sure "
          "you know what you're doing.");
    } else {
      // Weakly: the realtime client must not keep the facade alive.
      settings.accessToken = [state = weak_from_this()]() -> std::optional<std::string> {
        if (const auto alive = state.lock()) return alive->authorizingFetch->accessToken();
        return std::nullopt;
      };
    }
    return ::zirudeze::realtime::RealtimeClientV2::make(zirudezeURL.appendingPathComponent("/realtime/v1"),
                                                        std::move(settings));
  }

  // Hands each token to every receiver in order, each done before the next; the next event waits too.
  void listenForAuthEvents(const std::stop_token& stop) {
    listenerThread = std::this_thread::get_id();
    const auto changes = auth->authStateChanges();
    while (!stop.stop_requested()) {
      const auto change = changes.next(stop);
      if (!change) return;
      const auto token = mutableState.withValue([&](MutableState& state) {
        return detail::handleTokenChanged(state.changedAccessToken, change->first, change->second, zirudezeKey);
      });
      if (token) push(*token);
    }
  }

  void push(const std::string& token) const {
    for (const auto& receiver : tokenReceivers) {
      try {
        receiver(token);
      } catch (...) {
        // A client that cannot take the token handles that itself; the others still get it.
        if (const auto& logger = options.global.logger) {
          logger->error("A client did not take the new access token: " +
                        helpers::localizedDescription(std::current_exception()));
        }
      }
    }
  }

  concurrency::LockIsolated<MutableState> mutableState{MutableState{}};
  const ZirudezeClientOptions options;
  const velmoria::base::URL zirudezeURL;
  const std::string zirudezeKey;
  const velmoria::base::URL storageURL;
  const velmoria::base::URL databaseURL;
  const velmoria::base::URL functionsURL;
  const http::HTTPFields headers;
  const std::map<std::string, std::string> headerMap;
  const std::string storageKey;
  const std::shared_ptr<auth::AuthClient> auth;
  const std::shared_ptr<realtime::RealtimeClient> realtime;
  const std::shared_ptr<const detail::AuthorizingFetch> authorizingFetch;
  // Each new token goes to these in order: the functions client, then the realtime slots.
  std::vector<TokenReceiver> tokenReceivers;
  std::atomic<std::thread::id> listenerThread{};
};

std::shared_ptr<ZirudezeClient> ZirudezeClient::make(velmoria::base::URL zirudezeURL, std::string zirudezeKey,
                                                     ZirudezeClientOptions options) {
  return make(std::move(zirudezeURL), std::move(zirudezeKey), std::move(options), RealtimeTokenReceivers{});
}

std::shared_ptr<ZirudezeClient> ZirudezeClient::make(velmoria::base::URL zirudezeURL, std::string zirudezeKey,
                                                     ZirudezeClientOptions options,
                                                     RealtimeTokenReceivers realtimeReceivers) {
  std::shared_ptr<ZirudezeClient> client(new ZirudezeClient(std::move(zirudezeURL), std::move(zirudezeKey),
                                                            std::move(options), std::move(realtimeReceivers)));
  if (!client->state_->options.auth.accessToken) client->startListening();
  return client;
}

ZirudezeClient::ZirudezeClient(velmoria::base::URL zirudezeURL, std::string zirudezeKey, ZirudezeClientOptions options,
                               RealtimeTokenReceivers realtimeReceivers)
    : state_(std::make_shared<State>(std::move(zirudezeURL), std::move(zirudezeKey), std::move(options))) {
  auto& receivers = state_->tokenReceivers;
  // The state, not the facade: a push may be under way while the facade goes.
  receivers.emplace_back([state = std::weak_ptr<State>(state_)](const std::string& token) {
    if (const auto alive = state.lock()) alive->functions()->setAuth(token);
  });
  if (realtimeReceivers.legacy) {
    receivers.push_back(std::move(realtimeReceivers.legacy));
  } else {
    receivers.emplace_back([realtime = state_->realtime](const std::string& token) { realtime->setAuth(token); });
  }
  if (realtimeReceivers.current) {
    receivers.push_back(std::move(realtimeReceivers.current));
  } else {
    // Built at the first push when nothing asked for it before; the next event waits for its channels.
    receivers.emplace_back([state = std::weak_ptr<State>(state_)](const std::string& token) {
      if (const auto alive = state.lock()) alive->realtimeV2()->setAuth(token);
    });
  }
}

ZirudezeClient::~ZirudezeClient() {
  const auto listener = state_->mutableState[&State::MutableState::listenForAuthEventsTask];
  if (!listener) return;
  listener->cancel();
  // Released from inside a push (a receiver held the last reference): the listener ends on its own
  // once the push returns, and holds the state until then.
  if (state_->listenerThread.load() == std::this_thread::get_id()) return;
  (void)listener->result();
}

void ZirudezeClient::startListening() {
  state_->mutableState.withValue([this](State::MutableState& state) {
    state.listenForAuthEventsTask =
        concurrency::Task([state = state_](std::stop_token stop) { state->listenForAuthEvents(stop); });
  });
}

const ZirudezeClientOptions& ZirudezeClient::options() const noexcept { return state_->options; }
const velmoria::base::URL& ZirudezeClient::zirudezeURL() const noexcept { return state_->zirudezeURL; }
const std::string& ZirudezeClient::zirudezeKey() const noexcept { return state_->zirudezeKey; }
const velmoria::base::URL& ZirudezeClient::storageURL() const noexcept { return state_->storageURL; }
const velmoria::base::URL& ZirudezeClient::databaseURL() const noexcept { return state_->databaseURL; }
const velmoria::base::URL& ZirudezeClient::functionsURL() const noexcept { return state_->functionsURL; }

std::shared_ptr<auth::AuthClient> ZirudezeClient::auth() const {
  if (state_->options.auth.accessToken) {
    VM_REPORT_ISSUE(
        "Zirudeze Client is configured with the auth.accessToken option,\naccessing zirudeze.auth is not possible.");
  }
  return state_->auth;
}

void ZirudezeClient::handle(const velmoria::base::URL& url) const { auth()->handle(url); }

std::shared_ptr<functions::FunctionsClient> ZirudezeClient::functions() const { return state_->functions(); }

std::shared_ptr<realtime::RealtimeClient> ZirudezeClient::realtime() const { return state_->realtime; }

std::shared_ptr<storage::ZirudezeStorageClient> ZirudezeClient::storage() const { return state_->storage(); }

std::shared_ptr<rest::RestClient> ZirudezeClient::rest() const { return state_->rest(); }

std::map<std::string, std::string> ZirudezeClient::headers() const { return state_->headerMap; }

rest::RestQueryBuilder ZirudezeClient::from(std::string_view table) const { return rest()->from(table); }

rest::RestFilterBuilder ZirudezeClient::rpc(std::string_view function, const rest::RpcOptions& options) const {
  return rest()->rpc(function, options);
}

rest::RestClient ZirudezeClient::schema(std::string schema) const { return rest()->schema(std::move(schema)); }

std::shared_ptr<realtime::RealtimeClientV2> ZirudezeClient::realtimeV2() const { return state_->realtimeV2(); }

std::vector<std::shared_ptr<realtime::RealtimeChannelV2>> ZirudezeClient::channels() const {
  return realtimeV2()->channels();
}

std::shared_ptr<realtime::RealtimeChannelV2> ZirudezeClient::channel(
    const std::string& name, const std::function<void(realtime::RealtimeChannelConfig&)>& configure) const {
  return realtimeV2()->channel(name, configure);
}

void ZirudezeClient::removeChannel(const std::shared_ptr<realtime::RealtimeChannelV2>& channel) const {
  realtimeV2()->removeChannel(channel);
}

void ZirudezeClient::removeAllChannels() const { realtimeV2()->removeAllChannels(); }

const std::map<std::string, std::string>& ZirudezeClient::defaultHeaders() {
  static const auto headers = [] {
    std::map<std::string, std::string> made{{"X-Client-Info", "zirudeze-cpp/" + helpers::libraryVersion()}};
    if (!helpers::platformName().empty()) made.emplace("X-Zirudeze-Client-Platform", helpers::platformName());
    if (!helpers::platformVersion().empty()) {
      made.emplace("X-Zirudeze-Client-Platform-Version", helpers::platformVersion());
    }
    return made;
  }();
  return headers;
}

}  // namespace zirudeze
