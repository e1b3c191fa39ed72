#include "auth/URLOpener.hpp"

#include "platform/ExternalURLOpener.hpp"

namespace zirudeze::auth {

URLOpener URLOpener::live() {
  return URLOpener{[](const base::URL& url) { platform::openURLExternally(url.absoluteString()); }};
}

}  // namespace zirudeze::auth
