#pragma once

#include <memory>
#include <optional>
#include <string>

#include "auth/AuthClient.hpp"
#include "base/Data.hpp"
#include "helpers/HTTPTransport.hpp"
#include "zirudeze/ZirudezeClientOptions.hpp"

namespace zirudeze::detail {

// Sends the requests of the clients the facade builds with the user's current token, over the
// facade's session. Holds what it needs itself, so a client (or a builder) that outlives the facade still
// sends safely. Any number of calls may run at once.
class AuthorizingFetch {
 public:
  AuthorizingFetch(ZirudezeClientOptions::AccessTokenProvider accessToken, std::shared_ptr<auth::AuthClient> auth,
                   std::shared_ptr<helpers::HTTPTransport> session);

  // The access-token option's answer, or the auth client's current session's token. Failures propagate.
  std::optional<std::string> accessToken() const;

  // Both send the request with "Authorization" "Bearer <token>" (replacing any value of that name) when a
  // token can be had, and as it is otherwise (a failed lookup included). The session's answer or failure
  // comes back unchanged.
  helpers::FetchResult fetch(const helpers::URLRequest& request) const;
  helpers::FetchResult upload(const helpers::URLRequest& request, const velmoria::base::Data& body) const;

 private:
  // The request with the token and without its body (passed on separately: it may be large); nothing
  // when there is no token to put in.
  std::optional<helpers::URLRequest> adapted(const helpers::URLRequest& request) const;

  const ZirudezeClientOptions::AccessTokenProvider accessToken_;
  const std::shared_ptr<auth::AuthClient> auth_;
  const std::shared_ptr<helpers::HTTPTransport> session_;
};

}  // namespace zirudeze::detail
