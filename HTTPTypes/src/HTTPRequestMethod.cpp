#include "httptypes/HTTPRequestMethod.hpp"

#include "httptypes/TokenCharacters.hpp"

namespace zirudeze::http {

std::optional<HTTPRequestMethod> HTTPRequestMethod::make(std::string_view text) {
  if (text.empty() || !hasOnlyTokenCharacters(text)) return std::nullopt;
  return HTTPRequestMethod(std::string(text));
}

#define WELL_KNOWN_METHOD(member, token)                       \
  const HTTPRequestMethod& HTTPRequestMethod::member() {       \
    static const HTTPRequestMethod method{std::string(token)}; \
    return method;                                             \
  }

WELL_KNOWN_METHOD(get, "GET")
WELL_KNOWN_METHOD(head, "HEAD")
WELL_KNOWN_METHOD(post, "POST")
WELL_KNOWN_METHOD(put, "PUT")
WELL_KNOWN_METHOD(delete_, "DELETE")
WELL_KNOWN_METHOD(connect, "CONNECT")
WELL_KNOWN_METHOD(options, "OPTIONS")
WELL_KNOWN_METHOD(trace, "TRACE")
WELL_KNOWN_METHOD(patch, "PATCH")

#undef WELL_KNOWN_METHOD

}  // namespace zirudeze::http
