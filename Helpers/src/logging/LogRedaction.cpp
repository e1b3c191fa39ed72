#include "helpers/LogRedaction.hpp"

#include <algorithm>
#include <array>
#include <base/PercentEncoding.hpp>

#include "LogBodyText.hpp"

namespace zirudeze::helpers {
namespace {

bool isBase64URLCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '=';
}

std::string lowercased(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
  return out;
}

}  // namespace

bool isSecretName(std::string_view name) noexcept {
  const std::string lower = lowercased(name);
  static constexpr std::array<std::string_view, 7> parts{"token",   "secret",   "password",     "apikey",
                                                         "api_key", "verifier", "authorization"};
  if (std::any_of(parts.begin(), parts.end(),
                  [&](std::string_view part) { return lower.find(part) != std::string::npos; })) {
    return true;
  }
  return lower == "auth_code" || lower == "jwt" || lower == "otp";
}

std::string maskedSecret(std::string_view value) {
  if (value.size() >= 16) return std::string(value.substr(0, 4)) + "...<redacted>";
  return "<redacted>";
}

std::string redactingSecrets(std::string_view text) {
  // JSON web tokens: "eyJ" then base64url, a dot, base64url, and optionally a dot and a signature.
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto start = text.find("eyJ", i);
    if (start == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, start - i));
    std::size_t end = start;
    int dots = 0;
    std::size_t segment = 0;
    bool secondSegment = false;
    while (end < text.size()) {
      const char c = text[end];
      if (isBase64URLCharacter(c)) {
        ++segment;
        if (dots == 1) secondSegment = true;
      } else if (c == '.' && dots < 2 && segment > 0) {
        ++dots;
        segment = 0;
      } else {
        break;
      }
      ++end;
    }
    if (dots >= 1 && secondSegment) {
      out.append(maskedSecret(text.substr(start, end - start)));
      i = end;
    } else {
      out.append(text.substr(start, 3));
      i = start + 3;
    }
  }
  return out;
}

std::string redactingSecretsInURL(std::string_view url) {
  const auto question = url.find('?');
  if (question == std::string_view::npos) return redactingSecrets(url);
  const auto hash = url.find('#', question);
  const std::string_view query = url.substr(question + 1, hash == std::string_view::npos ? hash : hash - question - 1);
  std::string out(url.substr(0, question + 1));
  std::size_t start = 0;
  for (;;) {
    const auto amp = query.find('&', start);
    const std::string_view item = query.substr(start, amp == std::string_view::npos ? amp : amp - start);
    const auto equals = item.find('=');
    const std::string_view name = item.substr(0, equals);
    const std::string decoded = base::removingPercentEncoding(name).value_or(std::string(name));
    if (equals != std::string_view::npos && isSecretName(decoded)) {
      out.append(name).append("=").append(maskedSecret(item.substr(equals + 1)));
    } else {
      out.append(item);
    }
    if (amp == std::string_view::npos) break;
    out.push_back('&');
    start = amp + 1;
  }
  if (hash != std::string_view::npos) out.append(url.substr(hash));
  return redactingSecrets(out);
}

namespace detail {

void redactSecretMembers(nlohmann::json& value) {
  if (value.is_object()) {
    for (auto it = value.begin(); it != value.end(); ++it) {
      if (isSecretName(it.key()) && it.value().is_string()) {
        it.value() = maskedSecret(it.value().get_ref<const std::string&>());
      } else {
        redactSecretMembers(it.value());
      }
    }
  } else if (value.is_array()) {
    for (auto& element : value) redactSecretMembers(element);
  } else if (value.is_string()) {
    value = redactingSecrets(value.get_ref<const std::string&>());
  }
}

}  // namespace detail

}  // namespace zirudeze::helpers
