#include <algorithm>
#include <array>
#include <string_view>

#include "realtime/transport/WebSocketSession.hpp"

namespace websocket = boost::beast::websocket;

namespace zirudeze::realtime::transport {

namespace {

namespace http = boost::beast::http;

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// The handshake's own fields: a caller's value for them would break or forge the upgrade.
bool isHandshakeField(std::string_view name) {
  static constexpr std::array<std::string_view, 10> kFields = {
      "Host",
      "Upgrade",
      "Connection",
      "Sec-WebSocket-Key",
      "Sec-WebSocket-Version",
      "Sec-WebSocket-Extensions",
      "Sec-WebSocket-Protocol",
      "Sec-WebSocket-Accept",
      "Content-Length",
      "Transfer-Encoding",
  };
  return std::any_of(kFields.begin(), kFields.end(),
                     [&](std::string_view field) { return equalIgnoringCase(field, name); });
}

// Field names and values that could not go on the wire as they are (empty names, line breaks).
bool isWritableField(std::string_view name, std::string_view value) {
  if (name.empty()) return false;
  const auto control = [](char c) { return c == '\r' || c == '\n' || c == '\0'; };
  return std::none_of(name.begin(), name.end(), [&](char c) { return control(c) || c == ':' || c == ' '; }) &&
         std::none_of(value.begin(), value.end(), control);
}

}  // namespace

void decorateUpgradeRequest(websocket::request_type& request, const HandshakeRequest& handshake) {
  // No library banner: the platform sends none either.
  request.erase(http::field::user_agent);
  std::vector<std::string_view> given;
  for (const auto& [name, value] : handshake.requestHeaders) {
    if (isHandshakeField(name) || !isWritableField(name, value)) continue;
    request.insert(name, value);
    given.push_back(name);
  }
  for (const auto& field : handshake.sessionHeaders) {
    const std::string_view name = field.first;
    if (isHandshakeField(name) || !isWritableField(name, field.second)) continue;
    const bool inRequest =
        std::any_of(given.begin(), given.end(), [&](std::string_view other) { return equalIgnoringCase(other, name); });
    if (!inRequest) request.set(name, field.second);
  }
  if (!handshake.subprotocols.empty()) {
    std::string offered;
    for (const auto& protocol : handshake.subprotocols) {
      if (!offered.empty()) offered += ", ";
      offered += protocol;
    }
    request.set(http::field::sec_websocket_protocol, offered);
  }
}

helpers::HTTPURLResponse responseValue(const UpgradeResponse& response, const std::string& url) {
  helpers::HTTPURLResponse value;
  value.url = url;
  value.statusCode = static_cast<int>(response.result_int());
  for (const auto& field : response) {
    const std::string name(field.name_string());
    const std::string text(field.value());
    auto existing = std::find_if(value.allHeaderFields.begin(), value.allHeaderFields.end(),
                                 [&](const auto& entry) { return equalIgnoringCase(entry.first, name); });
    if (existing == value.allHeaderFields.end()) {
      value.allHeaderFields.emplace_back(name, text);
    } else {
      existing->second += ", " + text;
    }
  }
  if (const auto length = response.find(http::field::content_length); length != response.end()) {
    try {
      value.expectedContentLength = std::stoll(std::string(length->value()));
    } catch (const std::exception&) {
    }
  }
  if (const auto type = response.find(http::field::content_type); type != response.end()) {
    const std::string text(type->value());
    value.mimeType = text.substr(0, text.find(';'));
  }
  return value;
}

}  // namespace zirudeze::realtime::transport
