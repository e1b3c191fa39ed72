#include <atomic>
#include <future>

#include "AuthRequest.hpp"
#include "auth/AuthClient.hpp"
#include "auth/DefaultPresentationContextProvider.hpp"
#include "auth/Dependencies.hpp"
#include "issuereporting/FatalErrorReporter.hpp"

namespace zirudeze::auth {

Session AuthClient::exchangeCodeForSession(const std::string& authCode) const {
  const auto dependencies = this->dependencies();
  const auto& configuration = dependencies->configuration;
  const auto verifier = dependencies->codeVerifierStorage.get();
  if (!verifier && dependencies->logger) {
    dependencies->logger->error("code verifier not found, a code verifier should exist when calling this method.");
  }
  helpers::JSONObject body{{"auth_code", helpers::AnyJSON(authCode)}, {"code_verifier", helpers::AnyJSON(nullptr)}};
  if (verifier) body.insert_or_assign("code_verifier", helpers::AnyJSON(*verifier));
  auto session = dependencies->api.execute(detail::postRequest(configuration, "token", {{"grant_type", "pkce"}}, body))
                     .decoded<Session>(configuration.decoder);
  dependencies->codeVerifierStorage.set(std::nullopt);
  dependencies->sessionManager.storeAndAnnounce(session, {AuthChangeEvent::signedIn});
  return session;
}

velmoria::base::URL AuthClient::getOAuthSignInURL(Provider provider, const OAuthURLOptions& options) const {
  return getURLForProvider(dependencies()->configuration.url.appendingPathComponent("authorize"), provider,
                           ProviderURLOptions{options.scopes, options.redirectTo, options.queryParams});
}

Session AuthClient::signInWithOAuth(Provider provider, const OAuthURLOptions& options,
                                    const LaunchFlow& launchFlow) const {
  const velmoria::base::URL url = getOAuthSignInURL(provider, options);
  return session(launchFlow(url));
}

Session AuthClient::signInWithOAuth(Provider provider, const OAuthURLOptions& options,
                                    const ConfigureWebAuthenticationSession& configure) const {
  const velmoria::base::URL url = getOAuthSignInURL(provider, options);
  return session(webAuthenticationCallback(url, options.redirectTo, configure));
}

velmoria::base::URL AuthClient::webAuthenticationCallback(const velmoria::base::URL& url,
                                                          const std::optional<velmoria::base::URL>& redirectTo,
                                                          const ConfigureWebAuthenticationSession& configure) const {
  struct Completion {
    std::promise<velmoria::base::URL> promise;
    std::atomic<bool> done{false};
  };
  const auto completion = std::make_shared<Completion>();
  auto callbackURL = completion->promise.get_future();
  auto session = dependencies()->webAuthenticationSession(
      url, redirectTo ? redirectTo->scheme() : std::nullopt,
      [completion](std::optional<velmoria::base::URL> returned, std::exception_ptr error) {
        // The platform answers once; a second answer has nobody left to hear it.
        if (completion->done.exchange(true)) return;
        if (error) {
          completion->promise.set_exception(std::move(error));
        } else if (returned) {
          completion->promise.set_value(std::move(*returned));
        } else {
          issuereporting::fatalError("Expected url or error, but got none.", __FILE__, __LINE__);
        }
      });
  if (configure) configure(*session);
  // The session holds its provider only weakly: this one lives until the session has completed.
  std::shared_ptr<DefaultPresentationContextProvider> defaultProvider;
  if (!session->presentationContextProvider()) {
    defaultProvider = std::make_shared<DefaultPresentationContextProvider>();
    session->setPresentationContextProvider(defaultProvider);
  }
  session->start();
  return callbackURL.get();
}

}  // namespace zirudeze::auth
