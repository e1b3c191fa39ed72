#include "testsupport/FakeAuth.hpp"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <random>
#include <utility>

#include "base/Base64.hpp"
#include "base/PercentEncoding.hpp"
#include "base/UUID.hpp"

namespace velmoria::testsupport {
namespace {

using Json = FakeAuth::Json;

double nowSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string isoTime(double seconds) {
  const auto whole = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&whole, &utc);
  char text[96];
  const int micros = static_cast<int>((seconds - static_cast<double>(whole)) * 1e6);
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, micros < 0 ? 0 : micros);
  return text;
}

std::string lowercaseUUID() {
  std::string text = base::UUID::random().uuidString();
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string base64URL(std::string_view text) {
  std::string encoded = base::base64Encode(base::Data(text.begin(), text.end()));
  for (char& c : encoded) {
    if (c == '+') c = '-';
    if (c == '/') c = '_';
  }
  while (!encoded.empty() && encoded.back() == '=') encoded.pop_back();
  return encoded;
}

std::string randomToken(std::mt19937_64& random) {
  static constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string token;
  for (int i = 0; i < 24; ++i) token.push_back(alphabet[random() % (sizeof alphabet - 1)]);
  return token;
}

struct Factor {
  std::string id;
  std::string friendlyName;
  std::string factorType;
  bool verified = false;
  std::string createdAt;
};

struct User {
  std::string id;
  std::string email;
  std::string createdAt;
  std::vector<Factor> factors;
};

struct ServiceSession {
  std::string email;
  std::string aal = "aal1";
  std::vector<Json> amr;
};

struct Script {
  ScriptedResponse response;
  int remaining = 0;
};

// The path below the root as its raw segments, each percent-decoded on its own, so an encoded "/" stays
// inside its segment.
std::vector<std::string> segments(std::string_view target, std::string_view root) {
  std::string_view path = target.substr(0, target.find('?'));
  if (path.substr(0, root.size()) != root) return {};
  path.remove_prefix(root.size());
  std::vector<std::string> parts;
  while (!path.empty()) {
    if (path.front() == '/') {
      path.remove_prefix(1);
      continue;
    }
    const auto slash = path.find('/');
    const std::string_view raw = path.substr(0, slash);
    parts.push_back(base::removingPercentEncoding(raw).value_or(std::string(raw)));
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash);
  }
  return parts;
}

Json parsed(const std::string& body) {
  Json json = Json::parse(body, nullptr, false);
  return json.is_object() ? json : Json::object();
}

std::string text(const Json& body, const char* key) {
  const auto found = body.find(key);
  return found != body.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

// The scheme is case-insensitive: an implicit-grant redirect hands clients "bearer".
std::optional<std::string> bearerToken(const RecordedRequest& request) {
  const auto header = request.header("Authorization");
  constexpr std::string_view scheme = "bearer ";
  if (!header || header->size() < scheme.size()) return std::nullopt;
  for (std::size_t i = 0; i < scheme.size(); ++i)
    if (std::tolower(static_cast<unsigned char>((*header)[i])) != scheme[i]) return std::nullopt;
  return header->substr(scheme.size());
}

struct FakeAuth::State {
  std::string root;
  std::string baseURL;

  mutable std::mutex mutex;
  std::mt19937_64 random{std::random_device{}()};
  ErrorShape shape = ErrorShape::code;
  double lifetime = 3600;
  std::map<std::string, User> users;                     // by e-mail
  std::map<std::string, std::string> codes;              // e-mail -> code not yet used
  std::map<std::string, std::string> lastCodes;          // e-mail -> last code sent
  std::map<std::string, ServiceSession> sessions;        // by session id
  std::map<std::string, std::string> accessTokens;       // token -> session id
  std::map<std::string, std::string> refreshTokens;      // live token -> session id
  std::map<std::string, std::string> usedRefreshTokens;  // used token -> session id
  std::map<std::string, std::string> challenges;         // challenge id -> factor id
  std::map<std::string, std::vector<Script>> scripts;
  std::map<std::string, std::chrono::milliseconds> delays;
  // Held endpoints and how many of their requests wait.
  std::map<std::string, std::size_t> held;
  mutable std::condition_variable heldChanged;
  std::function<void(const std::string&, const std::string&)> codeListener;
  // Answers what the routes above do not serve, without the lock.
  RouteHandler fallback;
  // The code the request being answered sent, for the listener (called without the lock held).
  std::optional<std::pair<std::string, std::string>> sentCode;

  ScriptedResponse withShape(ScriptedResponse response) const {
    if (shape == ErrorShape::code) response.headers.emplace_back("X-Zirudeze-Api-Version", "2024-01-01");
    return response;
  }

  ScriptedResponse error(unsigned status, const std::string& code, const std::string& message) const {
    const Json body = shape == ErrorShape::code ? Json{{"code", code}, {"message", message}}
                                                : Json{{"error_code", code}, {"msg", message}};
    return withShape(ScriptedResponse::json(status, body.dump()));
  }

  ScriptedResponse answer(const Json& body) const { return withShape(ScriptedResponse::json(200, body.dump())); }

  User& userFor(const std::string& email) {
    auto [it, inserted] = users.try_emplace(email);
    if (inserted) {
      it->second.id = lowercaseUUID();
      it->second.email = email;
      it->second.createdAt = isoTime(nowSeconds());
    }
    return it->second;
  }

  Json userJSON(const User& user) const {
    Json factors = Json::array();
    for (const auto& factor : user.factors) {
      factors.push_back(Json{{"id", factor.id},
                             {"friendly_name", factor.friendlyName},
                             {"factor_type", factor.factorType},
                             {"status", factor.verified ? "verified" : "unverified"},
                             {"created_at", factor.createdAt},
                             {"updated_at", factor.createdAt}});
    }
    Json json{{"id", user.id},
              {"aud", "authenticated"},
              {"role", "authenticated"},
              {"email", user.email},
              {"phone", ""},
              {"app_metadata", Json{{"provider", "email"}, {"providers", Json::array({"email"})}}},
              {"user_metadata", Json::object()},
              {"identities", Json::array()},
              {"created_at", user.createdAt},
              {"updated_at", user.createdAt},
              {"email_confirmed_at", user.createdAt},
              {"last_sign_in_at", user.createdAt},
              {"is_anonymous", false}};
    if (!factors.empty()) json["factors"] = factors;
    return json;
  }

  // New tokens for a session (a new one when `sessionID` is empty), in the service's answer form.
  Json grant(const std::string& email, std::string sessionID) {
    if (sessionID.empty()) {
      sessionID = lowercaseUUID();
      sessions[sessionID] = ServiceSession{
          email, "aal1", {Json{{"method", "otp"}, {"timestamp", static_cast<std::int64_t>(nowSeconds())}}}};
    }
    const ServiceSession& session = sessions.at(sessionID);
    const User& user = userFor(email);
    const double now = nowSeconds();
    const auto expiresAt = static_cast<std::int64_t>(now + lifetime);
    const std::string accessToken = makeAccessToken(Json{{"aud", "authenticated"},
                                                         {"exp", expiresAt},
                                                         {"iat", static_cast<std::int64_t>(now)},
                                                         {"sub", user.id},
                                                         {"email", email},
                                                         {"role", "authenticated"},
                                                         {"aal", session.aal},
                                                         {"amr", session.amr},
                                                         {"session_id", sessionID},
                                                         {"jti", randomToken(random)}});
    const std::string refreshToken = randomToken(random);
    accessTokens[accessToken] = sessionID;
    refreshTokens[refreshToken] = sessionID;
    return Json{{"access_token", accessToken}, {"token_type", "bearer"},        {"expires_in", lifetime},
                {"expires_at", expiresAt},     {"refresh_token", refreshToken}, {"user", userJSON(user)}};
  }

  // The session a bearer token belongs to, while the session lasts and the token has not expired.
  std::optional<std::string> authorized(const RecordedRequest& request) const {
    const auto token = bearerToken(request);
    if (!token) return std::nullopt;
    const auto found = accessTokens.find(*token);
    if (found == accessTokens.end() || !sessions.contains(found->second)) return std::nullopt;
    const auto dot = token->find('.');
    const auto second = token->find('.', dot + 1);
    std::string payload = token->substr(dot + 1, second - dot - 1);
    for (char& c : payload) {
      if (c == '-') c = '+';
      if (c == '_') c = '/';
    }
    while (payload.size() % 4 != 0) payload.push_back('=');
    const auto bytes = base::base64Decode(payload);
    if (!bytes) return std::nullopt;
    const Json claims = Json::parse(std::string(bytes->begin(), bytes->end()), nullptr, false);
    if (!claims.is_object() || claims.value("exp", 0.0) < nowSeconds()) return std::nullopt;
    return found->second;
  }

  void endSession(const std::string& sessionID) {
    sessions.erase(sessionID);
    std::erase_if(refreshTokens, [&](const auto& entry) { return entry.second == sessionID; });
    std::erase_if(accessTokens, [&](const auto& entry) { return entry.second == sessionID; });
  }

  ScriptedResponse otp(const RecordedRequest& request) {
    const Json body = parsed(request.body);
    const std::string email = text(body, "email");
    if (email.empty()) return error(400, "validation_failed", "An email address or phone number is required");
    if (!users.contains(email) && body.contains("create_user") && body["create_user"] == false) {
      return error(422, "otp_disabled", "Signups not allowed for otp");
    }
    userFor(email);
    std::string code = std::to_string(100000 + random() % 900000);
    codes[email] = code;
    lastCodes[email] = code;
    sentCode.emplace(email, code);
    return answer(Json::object());
  }

  ScriptedResponse verify(const RecordedRequest& request) {
    const Json body = parsed(request.body);
    const std::string email = text(body, "email");
    const auto code = codes.find(email);
    if (email.empty() || code == codes.end() || code->second != text(body, "token")) {
      return error(403, "otp_expired", "Token has expired or is invalid");
    }
    codes.erase(code);
    return answer(grant(email, {}));
  }

  ScriptedResponse token(const RecordedRequest& request) {
    if (request.queryValue("grant_type") != "refresh_token") {
      return error(400, "validation_failed", "unsupported_grant_type");
    }
    const std::string refreshToken = text(parsed(request.body), "refresh_token");
    if (usedRefreshTokens.contains(refreshToken)) {
      return error(400, "refresh_token_already_used", "Invalid Refresh Token: Already Used");
    }
    const auto live = refreshTokens.find(refreshToken);
    if (live == refreshTokens.end()) {
      return error(400, "refresh_token_not_found", "Invalid Refresh Token: Refresh Token Not Found");
    }
    const std::string sessionID = live->second;
    refreshTokens.erase(live);
    usedRefreshTokens[refreshToken] = sessionID;
    return answer(grant(sessions.at(sessionID).email, sessionID));
  }

  ScriptedResponse logout(const RecordedRequest& request) {
    if (!bearerToken(request)) return error(401, "no_authorization", "This endpoint requires a Bearer token");
    const auto sessionID = authorized(request);
    if (!sessionID) return error(403, "bad_jwt", "invalid JWT: unable to parse or verify signature");
    const std::string scope = request.queryValue("scope").value_or("global");
    const std::string email = sessions.at(*sessionID).email;
    std::vector<std::string> ending;
    for (const auto& [id, session] : sessions) {
      if (session.email != email) continue;
      if ((scope == "local" && id != *sessionID) || (scope == "others" && id == *sessionID)) continue;
      ending.push_back(id);
    }
    for (const auto& id : ending) endSession(id);
    ScriptedResponse done;
    done.status = 204;
    return withShape(std::move(done));
  }

  ScriptedResponse userRoute(const RecordedRequest& request) {
    const auto sessionID = authorized(request);
    if (!sessionID) return error(403, "bad_jwt", "invalid JWT: unable to parse or verify signature");
    return answer(userJSON(userFor(sessions.at(*sessionID).email)));
  }

  ScriptedResponse factors(const RecordedRequest& request, const std::vector<std::string>& path) {
    const auto sessionID = authorized(request);
    if (!sessionID) return error(403, "bad_jwt", "invalid JWT: unable to parse or verify signature");
    User& user = userFor(sessions.at(*sessionID).email);
    if (path.size() == 1 && request.method == "POST") {
      const Json body = parsed(request.body);
      Factor factor{lowercaseUUID(), text(body, "friendly_name"), text(body, "factor_type"), false,
                    isoTime(nowSeconds())};
      if (factor.factorType != "totp" && factor.factorType != "phone") {
        return error(400, "validation_failed", "factor_type needs to be totp or phone");
      }
      user.factors.push_back(factor);
      Json answerBody{{"id", factor.id}, {"type", factor.factorType}, {"friendly_name", factor.friendlyName}};
      if (factor.factorType == "totp") {
        answerBody["totp"] = Json{{"qr_code", "data:image/svg+xml;utf-8,<svg/>"},
                                  {"secret", "JBSWY3DPEHPK3PXP"},
                                  {"uri", "otpauth://totp/fake:" + user.email + "?secret=JBSWY3DPEHPK3PXP"}};
      } else {
        answerBody["phone"] = text(body, "phone");
      }
      return answer(answerBody);
    }
    if (path.size() < 2) return error(404, "not_found", "no route");
    const auto factor = std::find_if(user.factors.begin(), user.factors.end(),
                                     [&](const Factor& candidate) { return candidate.id == path[1]; });
    if (factor == user.factors.end()) return error(404, "mfa_factor_not_found", "Factor not found");
    if (path.size() == 2 && request.method == "DELETE") {
      const std::string id = factor->id;
      user.factors.erase(factor);
      return answer(Json{{"id", id}});
    }
    if (path.size() == 3 && path[2] == "challenge" && request.method == "POST") {
      const std::string challengeID = lowercaseUUID();
      challenges[challengeID] = factor->id;
      return answer(Json{{"id", challengeID},
                         {"type", factor->factorType},
                         {"expires_at", static_cast<std::int64_t>(nowSeconds() + 300)}});
    }
    if (path.size() == 3 && path[2] == "verify" && request.method == "POST") {
      const Json body = parsed(request.body);
      const auto challenge = challenges.find(text(body, "challenge_id"));
      if (challenge == challenges.end() || challenge->second != factor->id) {
        return error(404, "mfa_factor_not_found", "MFA factor with the provided challenge ID not found");
      }
      if (text(body, "code") != kFactorCode) return error(422, "mfa_verification_failed", "Invalid TOTP code entered");
      challenges.erase(challenge);
      factor->verified = true;
      auto& session = sessions.at(*sessionID);
      session.aal = "aal2";
      session.amr.push_back(Json{{"method", "totp"}, {"timestamp", static_cast<std::int64_t>(nowSeconds())}});
      return answer(grant(session.email, *sessionID));
    }
    return error(404, "not_found", "no route");
  }

  // Before anything else: what a held request finds is the service as it is when it is let through.
  void passGate(const std::string& endpoint) {
    std::unique_lock lock(mutex);
    auto found = held.find(endpoint);
    if (found == held.end()) return;
    ++found->second;
    heldChanged.notify_all();
    heldChanged.wait(lock, [&] { return !held.contains(endpoint); });
  }

  ScriptedResponse route(const RecordedRequest& request) {
    const auto path = segments(request.target, root);
    const std::string endpoint = path.empty() ? std::string() : path.front();
    passGate(endpoint);
    std::optional<ScriptedResponse> response;
    std::chrono::milliseconds delay{0};
    std::optional<std::pair<std::string, std::string>> sent;
    std::function<void(const std::string&, const std::string&)> listener;
    RouteHandler extension;
    {
      std::lock_guard lock(mutex);
      if (const auto found = delays.find(endpoint); found != delays.end()) delay = found->second;
      auto& queue = scripts[endpoint];
      if (!queue.empty()) {
        response = queue.front().response;
        if (--queue.front().remaining <= 0) queue.erase(queue.begin());
      } else if (endpoint == "otp" && request.method == "POST") {
        response = otp(request);
      } else if (endpoint == "verify" && request.method == "POST") {
        response = verify(request);
      } else if (endpoint == "token" && request.method == "POST" &&
                 (!fallback || request.queryValue("grant_type") == "refresh_token")) {
        response = token(request);
      } else if (endpoint == "logout" && request.method == "POST") {
        response = logout(request);
      } else if (endpoint == "user" && path.size() == 1 && request.method == "GET") {
        response = userRoute(request);
      } else if (endpoint == "factors") {
        response = factors(request, path);
      } else if (!fallback) {
        response = error(404, "not_found", "no route");
      }
      sent = std::exchange(sentCode, std::nullopt);
      listener = codeListener;
      if (!response) extension = fallback;
    }
    if (extension) response = extension(request);
    if (sent && listener) listener(sent->first, sent->second);
    if (delay.count() > 0 && response->delay < delay) response->delay = delay;
    return std::move(*response);
  }
};

FakeAuth::FakeAuth(FakeBackend& backend, std::string root) : state_(std::make_shared<State>()) {
  state_->root = std::move(root);
  state_->baseURL = backend.baseURL();
  backend.route("*", state_->root + "/*",
                [state = state_](const RecordedRequest& request) { return state->route(request); });
}

FakeAuth::~FakeAuth() {
  std::lock_guard lock(state_->mutex);
  state_->held.clear();
  state_->heldChanged.notify_all();
}

std::string FakeAuth::url() const { return state_->baseURL + state_->root; }

std::optional<std::string> FakeAuth::lastCode(const std::string& email) const {
  std::lock_guard lock(state_->mutex);
  const auto found = state_->lastCodes.find(email);
  if (found == state_->lastCodes.end()) return std::nullopt;
  return found->second;
}

void FakeAuth::onCodeSent(std::function<void(const std::string&, const std::string&)> listener) {
  std::lock_guard lock(state_->mutex);
  state_->codeListener = std::move(listener);
}

FakeAuth::Json FakeAuth::issueSession(const std::string& email) {
  std::lock_guard lock(state_->mutex);
  return state_->grant(email, {});
}

FakeAuth::Json FakeAuth::user(const std::string& email) const {
  std::lock_guard lock(state_->mutex);
  const auto found = state_->users.find(email);
  return found == state_->users.end() ? Json::object() : state_->userJSON(found->second);
}

void FakeAuth::setSessionLifetime(double seconds) {
  std::lock_guard lock(state_->mutex);
  state_->lifetime = seconds;
}

bool FakeAuth::isRefreshTokenLive(const std::string& refreshToken) const {
  std::lock_guard lock(state_->mutex);
  return state_->refreshTokens.contains(refreshToken);
}

std::size_t FakeAuth::sessionCount(const std::string& email) const {
  std::lock_guard lock(state_->mutex);
  return static_cast<std::size_t>(std::count_if(state_->sessions.begin(), state_->sessions.end(),
                                                [&](const auto& entry) { return entry.second.email == email; }));
}

std::string FakeAuth::addFactor(const std::string& email, const std::string& factorType, bool verified,
                                const std::string& friendlyName) {
  std::lock_guard lock(state_->mutex);
  Factor factor{lowercaseUUID(), friendlyName, factorType, verified, isoTime(nowSeconds())};
  state_->userFor(email).factors.push_back(factor);
  return factor.id;
}

void FakeAuth::setFallback(RouteHandler handler) {
  std::lock_guard lock(state_->mutex);
  state_->fallback = std::move(handler);
}

std::optional<std::string> FakeAuth::emailForToken(const std::string& accessToken) const {
  RecordedRequest request;
  request.headers.emplace_back("Authorization", "Bearer " + accessToken);
  std::lock_guard lock(state_->mutex);
  const auto sessionID = state_->authorized(request);
  if (!sessionID) return std::nullopt;
  return state_->sessions.at(*sessionID).email;
}

void FakeAuth::setErrorShape(ErrorShape shape) {
  std::lock_guard lock(state_->mutex);
  state_->shape = shape;
}

ScriptedResponse FakeAuth::errorResponse(unsigned status, const std::string& code, const std::string& message) const {
  std::lock_guard lock(state_->mutex);
  return state_->error(status, code, message);
}

void FakeAuth::failNext(const std::string& endpoint, ScriptedResponse response, int times) {
  std::lock_guard lock(state_->mutex);
  state_->scripts[endpoint].push_back(Script{std::move(response), times});
}

void FakeAuth::setDelay(const std::string& endpoint, std::chrono::milliseconds delay) {
  std::lock_guard lock(state_->mutex);
  state_->delays[endpoint] = delay;
}

void FakeAuth::hold(const std::string& endpoint) {
  std::lock_guard lock(state_->mutex);
  state_->held.try_emplace(endpoint, 0);
}

bool FakeAuth::waitUntilHeld(const std::string& endpoint, std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->heldChanged.wait_for(lock, timeout, [&] {
    const auto found = state_->held.find(endpoint);
    return found != state_->held.end() && found->second >= count;
  });
}

void FakeAuth::release(const std::string& endpoint) {
  std::lock_guard lock(state_->mutex);
  state_->held.erase(endpoint);
  state_->heldChanged.notify_all();
}

std::string FakeAuth::makeAccessToken(const Json& claims) {
  return base64URL(R"({"alg":"HS256","typ":"JWT"})") + "." + base64URL(claims.dump()) + "." +
         base64URL("fake-backend-signature");
}

}  // namespace velmoria::testsupport
