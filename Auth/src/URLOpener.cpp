#include "auth/URLOpener.hpp"

#include "platform/ExternalURLOpener.hpp"

namespace zirudeze::auth {

URLOpener URLOpener::live() {
  return URLOpener{[](const velmoria::base::URL& url) { velmoria::platform::openURLExternally(url.absoluteString()); }};
}

}  // namespace zirudeze::auth
