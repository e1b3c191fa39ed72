// Auth answers and token claims from outside, read with the wire coders and the stored-session coders.
// Nothing may crash; a session body must read the same way on its own and as an auth answer; claims
// must survive writing and reading again.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "auth/AuthJSONCoders.hpp"
#include "auth/AuthResponse.hpp"
#include "auth/JWTTypes.hpp"
#include "auth/Session.hpp"
#include "auth/User.hpp"

namespace auth = zirudeze::auth;

namespace {

template <class T>
std::optional<T> tryDecode(const velmoria::base::JSONDecoder& decoder, const velmoria::base::Json& json) {
  try {
    return decoder.decodeJson<T>(json);
  } catch (const velmoria::base::DecodingError&) {
    return std::nullopt;
  }
}

template <class T>
std::optional<velmoria::base::Json> tryEncode(const velmoria::base::JSONEncoder& encoder, const T& value) {
  try {
    return encoder.encodeToJson(value);
  } catch (const velmoria::base::EncodingError&) {
    return std::nullopt;
  }
}

void exercise(const velmoria::base::JSONEncoder& encoder, const velmoria::base::JSONDecoder& decoder,
              const velmoria::base::Json& json) {
  const auto session = tryDecode<auth::Session>(decoder, json);
  const auto user = tryDecode<auth::User>(decoder, json);
  const auto response = tryDecode<auth::AuthResponse>(decoder, json);
  if (response.has_value() != (session.has_value() || user.has_value())) __builtin_trap();
  if (session && !(response->isSession() && *response->session() == *session)) __builtin_trap();
  if (!session && user && !(response->user() == *user)) __builtin_trap();
  if (session) {
    (void)session->isExpired();
    if (const auto written = tryEncode(encoder, *session)) (void)tryDecode<auth::Session>(decoder, *written);
  }
  if (user) {
    if (const auto written = tryEncode(encoder, *user)) (void)tryDecode<auth::User>(decoder, *written);
  }

  if (const auto claims = tryDecode<auth::JWTClaims>(decoder, json)) {
    if (const auto written = tryEncode(encoder, *claims)) {
      const auto again = tryDecode<auth::JWTClaims>(decoder, *written);
      if (!again || !(*again == *claims)) __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  velmoria::base::Json json;
  try {
    json = velmoria::base::parseJson(text);
  } catch (const velmoria::base::DecodingError&) {
    return 0;
  }
  exercise(auth::AuthJSONCoders::encoder(), auth::AuthJSONCoders::decoder(), json);
  exercise(auth::StoredSessionCoders::encoder(), auth::StoredSessionCoders::decoder(), json);
  return 0;
}
