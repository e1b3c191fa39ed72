#include "AuthorizingFetch.hpp"

#include <utility>

namespace zirudeze::detail {
namespace {

// Everything of the request but its body bytes, which may be large and are passed on separately; a body
// stream is only a handle and stays.
helpers::URLRequest withoutBody(const helpers::URLRequest& request) {
  helpers::URLRequest copy;
  copy.url = request.url;
  copy.httpMethod = request.httpMethod;
  copy.allHTTPHeaderFields = request.allHTTPHeaderFields;
  copy.httpBodyStream = request.httpBodyStream;
  copy.timeoutInterval = request.timeoutInterval;
  copy.cachePolicy = request.cachePolicy;
  return copy;
}

}  // namespace

AuthorizingFetch::AuthorizingFetch(ZirudezeClientOptions::AccessTokenProvider accessToken,
                                   std::shared_ptr<auth::AuthClient> auth,
                                   std::shared_ptr<helpers::HTTPTransport> session)
    : accessToken_(std::move(accessToken)), auth_(std::move(auth)), session_(std::move(session)) {}

std::optional<std::string> AuthorizingFetch::accessToken() const {
  if (accessToken_) return accessToken_();
  return auth_->session().accessToken;
}

std::optional<helpers::URLRequest> AuthorizingFetch::adapted(const helpers::URLRequest& request) const {
  std::optional<std::string> token;
  try {
    token = accessToken();
  } catch (...) {
    // No session, a failed refresh or a failing token option: the request goes as its client made it.
    return std::nullopt;
  }
  if (!token) return std::nullopt;
  auto copy = withoutBody(request);
  copy.setValue("Bearer " + *token, "Authorization");
  return copy;
}

helpers::FetchResult AuthorizingFetch::fetch(const helpers::URLRequest& request) const {
  const auto authorised = adapted(request);
  if (!authorised) return session_->data(request);
  if (request.httpBody) return session_->upload(*authorised, *request.httpBody);
  return session_->data(*authorised);
}

helpers::FetchResult AuthorizingFetch::upload(const helpers::URLRequest& request,
                                              const velmoria::base::Data& body) const {
  const auto authorised = adapted(request);
  return session_->upload(authorised ? *authorised : request, body);
}

}  // namespace zirudeze::detail
