#include "realtime/RealtimeSocketURL.hpp"

#include <base/URLComponents.hpp>
#include <string_view>
#include <vector>

namespace zirudeze::realtime {

base::URL webSocketSchemeURL(const base::URL& url) {
  auto components = base::URLComponents::parse(url.absoluteString());
  if (!components) return url;
  if (components->scheme() == "https") {
    components->setScheme("wss");
  } else if (components->scheme() == "http") {
    components->setScheme("ws");
  }
  return components->url().value_or(url);
}

base::URL realtimeWebSocketURL(const base::URL& url, const std::optional<std::string>& apikey,
                               std::optional<LogLevel> logLevel) {
  auto components = base::URLComponents::parse(url.absoluteString());
  if (!components) return url;
  std::vector<base::URLQueryItem> items = components->queryItems().value_or(std::vector<base::URLQueryItem>{});
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
