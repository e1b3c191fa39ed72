#include "realtime/RealtimeSocketURL.hpp"

#include <string_view>
#include <vector>

#include "base/URLComponents.hpp"

namespace zirudeze::realtime {

velmoria::base::URL webSocketSchemeURL(const velmoria::base::URL& url) {
  auto components = velmoria::base::URLComponents::parse(url.absoluteString());
  if (!components) return url;
  if (components->scheme() == "https") {
    components->setScheme("wss");
  } else if (components->scheme() == "http") {
    components->setScheme("ws");
  }
  return components->url().value_or(url);
}

velmoria::base::URL realtimeWebSocketURL(const velmoria::base::URL& url, const std::optional<std::string>& apikey,
                                         std::optional<LogLevel> logLevel) {
  auto components = velmoria::base::URLComponents::parse(url.absoluteString());
  if (!components) return url;
  std::vector<velmoria::base::URLQueryItem> items =
      components->queryItems().value_or(std::vector<velmoria::base::URLQueryItem>{});
  if (apikey) items.push_back({"apikey", *apikey});
  items.push_back({"vsn", "1.0.0"});
  if (logLevel) items.push_back({"log_level", std::string(rawValue(*logLevel))});
  components->setQueryItems(items);

  std::string path = components->percentEncodedPath() + "/websocket";
  for (std::size_t at = path.find("//"); at != std::string::npos; at = path.find("//", at)) path.erase(at, 1);
  components->setPercentEncodedPath(std::move(path));
  return components->url().value_or(url);
}

}  // namespace zirudeze::realtime
