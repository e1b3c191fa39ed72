#include "auth/AuthMFA.hpp"

#include <algorithm>

#include "AuthRequest.hpp"
#include "auth/AuthError.hpp"
#include "auth/Dependencies.hpp"
#include "base/coding/Coding.hpp"
#include "helpers/JWT.hpp"

namespace zirudeze::auth {
namespace {

using Method = helpers::HTTPRequest::Method;

// The challenge body: only the channel.
struct ChallengeBody {
  MessagingChannel channel;

  void encode(velmoria::base::Encoder& encoder) const {
    auto c = encoder.container();
    c.encode("channel", channel);
  }
};

velmoria::base::URL factorURL(const AuthClientConfiguration& configuration, const std::string& factorId) {
  return detail::appendingPathSegment(configuration.url.appendingPathComponent("factors"), factorId);
}

template <class Answer>
Answer send(const Dependencies& dependencies, helpers::HTTPRequest request) {
  return dependencies.api.authorizedExecute(std::move(request)).decoded<Answer>(dependencies.configuration.decoder);
}

}  // namespace

AuthMFAEnrollResponse AuthMFA::enroll(const MFAEnrollParamsType& params) const {
  const auto dependencies = Dependencies::get(clientID);
  const auto& configuration = dependencies->configuration;
  return send<AuthMFAEnrollResponse>(
      *dependencies, helpers::HTTPRequest(configuration.url.appendingPathComponent("factors"), Method::post(), {}, {},
                                          configuration.encoder.encode(params)));
}

AuthMFAChallengeResponse AuthMFA::challenge(const MFAChallengeParams& params) const {
  const auto dependencies = Dependencies::get(clientID);
  const auto& configuration = dependencies->configuration;
  std::optional<velmoria::base::Data> body;
  if (params.channel) body = configuration.encoder.encode(ChallengeBody{*params.channel});
  return send<AuthMFAChallengeResponse>(
      *dependencies, helpers::HTTPRequest(factorURL(configuration, params.factorId).appendingPathComponent("challenge"),
                                          Method::post(), {}, {}, std::move(body)));
}

Session AuthMFA::verify(const MFAVerifyParams& params) const {
  const auto dependencies = Dependencies::get(clientID);
  const auto& configuration = dependencies->configuration;
  const Session current = dependencies->sessionManager.session();
  helpers::HTTPRequest request(factorURL(configuration, params.factorId).appendingPathComponent("verify"),
                               Method::post(), {}, {}, configuration.encoder.encode(params));
  request.headers.set(http::HTTPField::Name::authorization(), "Bearer " + current.accessToken);
  const auto session = dependencies->api.execute(std::move(request)).decoded<Session>(configuration.decoder);
  // Signed out or signed in anew meanwhile: the verified session belongs to a sign-in that has ended.
  dependencies->sessionManager.replaceAndAnnounce(current, session, {AuthChangeEvent::mfaChallengeVerified});
  return session;
}

AuthMFAUnenrollResponse AuthMFA::unenroll(const MFAUnenrollParams& params) const {
  const auto dependencies = Dependencies::get(clientID);
  return send<AuthMFAUnenrollResponse>(
      *dependencies, helpers::HTTPRequest(factorURL(dependencies->configuration, params.factorId), Method::delete_()));
}

Session AuthMFA::challengeAndVerify(const MFAChallengeAndVerifyParams& params) const {
  const auto challenged = challenge(MFAChallengeParams{params.factorId, std::nullopt});
  return verify(MFAVerifyParams{params.factorId, challenged.id, params.code});
}

AuthMFAListFactorsResponse AuthMFA::listFactors() const {
  const Session session = Dependencies::get(clientID)->sessionManager.session();
  AuthMFAListFactorsResponse response;
  response.all = session.user.factors.value_or(std::vector<Factor>{});
  for (const auto& factor : response.all) {
    if (factor.status != FactorStatus::verified) continue;
    if (factor.factorType == "totp") response.totp.push_back(factor);
    if (factor.factorType == "phone") response.phone.push_back(factor);
  }
  return response;
}

AuthMFAGetAuthenticatorAssuranceLevelResponse AuthMFA::getAuthenticatorAssuranceLevel() const {
  std::optional<Session> session;
  try {
    session = Dependencies::get(clientID)->sessionManager.session();
  } catch (const AuthError& error) {
    if (!error.is<AuthError::SessionMissingCase>()) throw;
    return {};
  }
  const helpers::JSONObject payload = helpers::JWT::decodePayload(session->accessToken).value_or(helpers::JSONObject{});

  AuthMFAGetAuthenticatorAssuranceLevelResponse response;
  if (const auto aal = payload.find("aal"); aal != payload.end() && aal->second.stringValue()) {
    response.currentLevel = *aal->second.stringValue();
  }
  const auto& factors = session->user.factors;
  const bool anyVerified = factors && std::any_of(factors->begin(), factors->end(), [](const Factor& factor) {
                             return factor.status == FactorStatus::verified;
                           });
  response.nextLevel = anyVerified ? std::optional<std::string>("aal2") : response.currentLevel;
  if (const auto amr = payload.find("amr"); amr != payload.end() && amr->second.arrayValue()) {
    for (const auto& element : *amr->second.arrayValue()) {
      if (auto entry = AMREntry::fromJSON(element)) response.currentAuthenticationMethods.push_back(std::move(*entry));
    }
  }
  return response;
}

}  // namespace zirudeze::auth
