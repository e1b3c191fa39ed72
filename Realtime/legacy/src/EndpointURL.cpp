#include "EndpointURL.hpp"

#include <stdexcept>
#include <string_view>
#include <vector>

#include "LastWord.hpp"
#include "base/URLComponents.hpp"
#include "realtime/legacy/Defaults.hpp"

namespace zirudeze::realtime::detail {

namespace {

bool endsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace

velmoria::base::URL legacyEndpointURL(const std::string& endPoint, const std::optional<helpers::JSONObject>& params,
                                      const std::string& vsn) {
  auto components = velmoria::base::URLComponents::parse(endPoint);
  if (!components) throw std::invalid_argument("Malformed URL: " + endPoint);
  std::string path = components->percentEncodedPath();
  if (path.find("/websocket") == std::string::npos) {
    if (!endsWith(path, "/")) path += '/';
    path += "websocket";
  }
  components->setPercentEncodedPath(std::move(path));
  std::vector<velmoria::base::URLQueryItem> items{{"vsn", vsn}};
  if (params) {
    for (const auto& [name, value] : *params) items.push_back({name, describe(value)});
  }
  components->setQueryItems(items);
  auto url = components->url();
  if (!url) throw std::invalid_argument("Malformed URL while adding parameters");
  return *url;
}

std::optional<std::string> tokenFromParams(const std::optional<helpers::JSONObject>& params) {
  if (!params) return std::nullopt;
  const auto authorization = params->find("Authorization");
  if (authorization != params->end()) {
    if (const std::string* text = authorization->second.stringValue()) {
      if (auto last = lastWord(*text)) return last;
    }
  }
  const auto apikey = params->find("apikey");
  if (apikey != params->end()) {
    if (const std::string* text = apikey->second.stringValue()) return *text;
  }
  return std::nullopt;
}

std::string broadcastEndpointText(std::string endPoint) {
  if (endPoint.rfind("ws", 0) == 0) endPoint.replace(0, 2, "http");
  if (endsWith(endPoint, "/")) {
    // One final slash may follow the suffix; more than one leaves the suffix where it is.
    const std::string_view trimmed(endPoint.data(), endPoint.size() - 1);
    for (const std::string_view suffix : {"/socket/websocket", "/socket", "/websocket"}) {
      if (endsWith(trimmed, suffix)) {
        endPoint.resize(trimmed.size() - suffix.size());
        break;
      }
    }
  } else {
    for (const std::string_view suffix : {"/socket/websocket", "/socket", "/websocket"}) {
      if (endsWith(endPoint, suffix)) {
        endPoint.resize(endPoint.size() - suffix.size());
        break;
      }
    }
  }
  while (!endPoint.empty() && endPoint.back() == '/') endPoint.pop_back();
  return endPoint + "/api/broadcast";
}

}  // namespace zirudeze::realtime::detail
