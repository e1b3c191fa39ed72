#include "testsupport/FakeAuthFlows.hpp"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <vector>

#include <openssl/sha.h>

#include "base/PercentEncoding.hpp"
#include "base/UUID.hpp"
#include "testsupport/RSATestKey.hpp"

namespace velmoria::testsupport {
namespace {

using Json = FakeAuthFlows::Json;

const char* const kTimestamp = "2026-01-02T03:04:05.000000Z";

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string newID() { return lowered(base::UUID::random().uuidString()); }

Json parsed(const std::string& body) {
  Json json = Json::parse(body, nullptr, false);
  return json.is_object() ? json : Json::object();
}

std::string text(const Json& body, const char* key) {
  const auto found = body.find(key);
  return found != body.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::string sha256URL(const std::string& text) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
  return base64URLEncoded(std::string(reinterpret_cast<const char*>(digest), sizeof digest));
}

// The path below the root, split at "/" and percent-decoded.
std::vector<std::string> segments(const RecordedRequest& request, const std::string& root) {
  std::string_view path = request.path;
  if (path.substr(0, root.size()) == root) path.remove_prefix(root.size());
  std::vector<std::string> parts;
  std::size_t begin = 0;
  while (begin <= path.size()) {
    const std::size_t end = std::min(path.find('/', begin), path.size());
    if (end > begin) parts.emplace_back(path.substr(begin, end - begin));
    begin = end + 1;
  }
  return parts;
}

ScriptedResponse answer(const Json& body, unsigned status = 200) { return ScriptedResponse::json(status, body.dump()); }

struct AuthCode {
  std::string email;
  std::string challenge;
  std::string method;
};

}  // namespace

struct FakeAuthFlows::State {
  FakeAuth& auth;
  std::string root;

  std::mutex mutex;
  bool confirmation = false;
  std::map<std::string, std::string> passwords;  // e-mail or phone -> password
  std::map<std::string, AuthCode> codes;
  std::map<std::string, Json> metadata;  // e-mail -> user_metadata set through PUT "user"
  Json keys = Json::array();
  std::map<std::string, Json> adminUsers;  // lower-case id -> user
  std::map<std::string, Json> clients;     // lower-case id -> OAuth client

  explicit State(FakeAuth& owner) : auth(owner) {}

  ScriptedResponse error(unsigned status, const std::string& code, const std::string& message) const {
    return auth.errorResponse(status, code, message);
  }

  std::optional<std::string> bearerEmail(const RecordedRequest& request) const {
    const auto token = bearerToken(request);
    if (!token) return std::nullopt;
    return auth.emailForToken(*token);
  }

  static Json userRecord(const std::string& id, const std::string& email) {
    return Json{{"id", id},
                {"aud", "authenticated"},
                {"role", "authenticated"},
                {"email", email},
                {"app_metadata", Json::object()},
                {"user_metadata", Json::object()},
                {"created_at", kTimestamp},
                {"updated_at", kTimestamp}};
  }

  ScriptedResponse signup(const RecordedRequest& request) {
    const Json body = parsed(request.body);
    std::string name = text(body, "email");
    if (name.empty()) name = text(body, "phone");
    if (name.empty()) return answer(auth.issueSession("anonymous-" + newID() + "@example.test"));
    {
      std::lock_guard lock(mutex);
      if (passwords.contains(name)) return error(422, "user_already_exists", "User already registered");
      passwords[name] = text(body, "password");
      if (confirmation) return answer(userRecord(newID(), name));
    }
    return answer(auth.issueSession(name));
  }

  ScriptedResponse token(const RecordedRequest& request) {
    const auto grant = request.queryValue("grant_type").value_or("");
    const Json body = parsed(request.body);
    if (grant == "password") {
      std::string name = text(body, "email");
      if (name.empty()) name = text(body, "phone");
      {
        std::lock_guard lock(mutex);
        const auto found = passwords.find(name);
        if (found == passwords.end() || found->second != text(body, "password")) {
          return error(400, "invalid_credentials", "Invalid login credentials");
        }
      }
      return answer(auth.issueSession(name));
    }
    if (grant == "id_token") {
      if (text(body, "id_token").empty()) return error(400, "validation_failed", "id_token required");
      if (body.value("link_identity", false)) {
        const auto email = bearerEmail(request);
        if (!email) return error(403, "bad_jwt", "invalid JWT: unable to parse or verify signature");
        return answer(auth.issueSession(*email));
      }
      return answer(auth.issueSession(text(body, "provider") + "-user@example.test"));
    }
    if (grant == "pkce") {
      AuthCode code;
      {
        std::lock_guard lock(mutex);
        const auto found = codes.find(text(body, "auth_code"));
        if (found == codes.end())
          return error(404, "flow_state_not_found", "invalid flow state, no valid flow state found");
        code = found->second;
        const auto& verifier = body.find("code_verifier");
        const bool met = verifier != body.end() && verifier->is_string() &&
                         (code.method == "plain" ? verifier->get<std::string>() == code.challenge
                                                 : sha256URL(verifier->get<std::string>()) == code.challenge);
        if (!met)
          return error(400, "bad_code_verifier", "code challenge does not match previously saved code verifier");
        codes.erase(found);
      }
      return answer(auth.issueSession(code.email));
    }
    return error(400, "validation_failed", "unsupported_grant_type");
  }

  ScriptedResponse user(const RecordedRequest& request, const std::vector<std::string>& path) {
    const auto email = bearerEmail(request);
    if (!email) return error(403, "bad_jwt", "invalid JWT: unable to parse or verify signature");
    if (path.size() == 1 && request.method == "PUT") {
      const Json body = parsed(request.body);
      Json record = auth.user(*email);
      std::lock_guard lock(mutex);
      if (body.contains("data")) metadata[*email] = body["data"];
      if (const auto found = metadata.find(*email); found != metadata.end()) record["user_metadata"] = found->second;
      if (!text(body, "email").empty()) record["new_email"] = text(body, "email");
      return answer(record);
    }
    if (path.size() == 3 && path[1] == "identities" && path[2] == "authorize" && request.method == "GET") {
      return answer(
          Json{{"url", "https://provider.example/authorize?provider=" + request.queryValue("provider").value_or("")}});
    }
    if (path.size() == 3 && path[1] == "identities" && request.method == "DELETE") return answer(Json::object());
    return error(404, "not_found", "no route");
  }

  // One page of `items` with the service's paging headers.
  static ScriptedResponse page(const RecordedRequest& request, const std::map<std::string, Json>& items,
                               const char* member) {
    const auto number = [&](const char* name, long fallback) {
      const auto value = request.queryValue(name).value_or("");
      return value.empty() ? fallback : std::stol(value);
    };
    const long pageNumber = std::max(1L, number("page", 1));
    const long perPage = std::max(1L, number("per_page", 50));
    Json list = Json::array();
    long index = 0;
    for (const auto& [id, item] : items) {
      if (index / perPage + 1 == pageNumber) list.push_back(item);
      ++index;
    }
    const long total = static_cast<long>(items.size());
    const long lastPage = std::max(1L, (total + perPage - 1) / perPage);
    std::string link;
    const auto target = [&](long n) {
      return "</admin?page=" + std::to_string(n) + "&per_page=" + std::to_string(perPage) + ">";
    };
    if (pageNumber < lastPage) link = target(pageNumber + 1) + "; rel=\"next\", ";
    link += target(lastPage) + "; rel=\"last\"";
    return answer(Json{{member, list}, {"aud", "authenticated"}})
        .withHeader("x-total-count", std::to_string(total))
        .withHeader("link", link);
  }

  ScriptedResponse admin(const RecordedRequest& request, const std::vector<std::string>& path) {
    std::lock_guard lock(mutex);
    const Json body = parsed(request.body);
    if (path.size() >= 2 && path[1] == "invite" && request.method == "POST") {
      Json user = userRecord(newID(), text(body, "email"));
      if (body.contains("data") && body["data"].is_object()) user["user_metadata"] = body["data"];
      user["invited_at"] = kTimestamp;
      adminUsers[text(user, "id")] = user;
      return answer(user);
    }
    if (path.size() >= 2 && path[1] == "users") {
      if (path.size() == 2 && request.method == "GET") return page(request, adminUsers, "users");
      if (path.size() == 2 && request.method == "POST") {
        Json user = userRecord(newID(), text(body, "email"));
        if (body.contains("user_metadata")) user["user_metadata"] = body["user_metadata"];
        adminUsers[text(user, "id")] = user;
        return answer(user);
      }
      const auto found = path.size() == 3 ? adminUsers.find(lowered(path[2])) : adminUsers.end();
      if (found == adminUsers.end()) return error(404, "user_not_found", "User not found");
      if (request.method == "GET") return answer(found->second);
      if (request.method == "PUT") {
        if (!text(body, "email").empty()) found->second["email"] = text(body, "email");
        if (body.contains("user_metadata")) found->second["user_metadata"] = body["user_metadata"];
        return answer(found->second);
      }
      if (request.method == "DELETE") {
        adminUsers.erase(found);
        return answer(Json::object());
      }
    }
    if (path.size() >= 3 && path[1] == "oauth" && path[2] == "clients") {
      if (path.size() == 3 && request.method == "GET") return page(request, clients, "clients");
      if (path.size() == 3 && request.method == "POST") {
        const std::string id = newID();
        Json client{{"client_id", id},
                    {"client_name", text(body, "client_name")},
                    {"client_secret", "secret-" + newID()},
                    {"client_type", "confidential"},
                    {"token_endpoint_auth_method", "client_secret_basic"},
                    {"registration_type", "manual"},
                    {"redirect_uris", body.value("redirect_uris", Json::array())},
                    {"grant_types", body.value("grant_types", Json::array({"authorization_code"}))},
                    {"response_types", body.value("response_types", Json::array({"code"}))},
                    {"created_at", kTimestamp},
                    {"updated_at", kTimestamp}};
        clients[id] = client;
        return answer(client, 201);
      }
      const auto found = path.size() >= 4 ? clients.find(lowered(path[3])) : clients.end();
      if (found == clients.end()) return error(404, "oauth_client_not_found", "OAuth client not found");
      if (path.size() == 5 && path[4] == "regenerate_secret" && request.method == "POST") {
        found->second["client_secret"] = "secret-" + newID();
        return answer(found->second);
      }
      if (path.size() != 4) return error(404, "not_found", "no route");
      if (request.method == "GET") return answer(found->second);
      if (request.method == "PUT") {
        for (const auto& [key, value] : body.items()) found->second[key] = value;
        return answer(found->second);
      }
      if (request.method == "DELETE") {
        const Json gone = found->second;
        clients.erase(found);
        return answer(gone);
      }
    }
    return error(404, "not_found", "no route");
  }

  ScriptedResponse route(const RecordedRequest& request) {
    const auto path = segments(request, root);
    const std::string endpoint = path.empty() ? std::string() : path.front();
    const Json body = parsed(request.body);
    if (endpoint == "signup" && request.method == "POST") return signup(request);
    if (endpoint == "token" && request.method == "POST") return token(request);
    if (endpoint == "resend" && request.method == "POST") {
      const std::string type = text(body, "type");
      if (type == "sms" || type == "phone_change") return answer(Json{{"message_id", "msg-" + newID()}});
      return answer(Json::object());
    }
    if (endpoint == "recover" && request.method == "POST") return answer(Json::object());
    if (endpoint == "sso" && request.method == "POST") {
      if (text(body, "provider_id").empty() && text(body, "domain").empty()) {
        return error(400, "validation_failed", "A provider_id or domain is required");
      }
      return answer(Json{{"url", "https://idp.example/sso/saml?relay=" + newID()}});
    }
    if (endpoint == "reauthenticate" && request.method == "GET") {
      if (!bearerEmail(request)) return error(403, "bad_jwt", "invalid JWT: unable to parse or verify signature");
      return answer(Json::object());
    }
    if (endpoint == "user") return user(request, path);
    if (endpoint == ".well-known" && path.size() == 2 && path[1] == "jwks.json") {
      std::lock_guard lock(mutex);
      return answer(Json{{"keys", keys}});
    }
    if (endpoint == "admin") return admin(request, path);
    return error(404, "not_found", "no route");
  }
};

FakeAuthFlows::FakeAuthFlows(FakeAuth& auth) : state_(std::make_shared<State>(auth)) {
  const std::string url = auth.url();
  state_->root = url.substr(url.find('/', url.find("//") + 2));
  auth.setFallback([state = state_](const RecordedRequest& request) { return state->route(request); });
}

FakeAuthFlows::~FakeAuthFlows() { state_->auth.setFallback(nullptr); }

void FakeAuthFlows::requireConfirmation(bool required) {
  std::lock_guard lock(state_->mutex);
  state_->confirmation = required;
}

std::string FakeAuthFlows::issueAuthCode(const std::string& email, const std::string& codeChallenge,
                                         const std::string& method) {
  std::lock_guard lock(state_->mutex);
  const std::string code = newID();
  state_->codes[code] = AuthCode{email, codeChallenge, method};
  return code;
}

void FakeAuthFlows::setKeys(const Json& keys) {
  std::lock_guard lock(state_->mutex);
  state_->keys = keys;
}

std::string FakeAuthFlows::addAdminUser(const std::string& email) {
  std::lock_guard lock(state_->mutex);
  const std::string id = newID();
  state_->adminUsers[id] = State::userRecord(id, email);
  return id;
}

}  // namespace velmoria::testsupport
