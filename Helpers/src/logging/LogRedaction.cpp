#include "helpers/LogRedaction.hpp"

#include <algorithm>
#include <array>

#include "LogBodyText.hpp"
#include "base/PercentEncoding.hpp"

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
  // A TOTP enrolment's QR code carries its secret; a reauthentication nonce is a one-time code.
  return lower == "auth_code" || lower == "jwt" || lower == "otp" || lower == "qr_code" || lower == "nonce";
}

std::string maskedSecret(std::string_view value) {
  if (value.size() >= 16) return std::string(value.substr(0, 4)) + "...<redacted>";
  return "<redacted>";
}

namespace {

constexpr std::string_view otpauthScheme = "otpauth:";

bool startsWithOTPAuth(std::string_view text) {
  return text.size() >= otpauthScheme.size() && lowercased(text.substr(0, otpauthScheme.size())) == otpauthScheme;
}

// TOTP provisioning addresses ("otpauth://totp/...?secret=...") up to the next space or quote.
std::string redactingOTPAuthURIs(std::string_view text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t start = std::string_view::npos;
    for (std::size_t at = i; at + otpauthScheme.size() <= text.size(); ++at) {
      if ((text[at] == 'o' || text[at] == 'O') && startsWithOTPAuth(text.substr(at))) {
        start = at;
        break;
      }
    }
    if (start == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, start - i));
    auto end = text.find_first_of(" \t\r\n\"'<>", start);
    if (end == std::string_view::npos) end = text.size();
    out.append(maskedSecret(text.substr(start, end - start)));
    i = end;
  }
  return out;
}

// JSON web tokens: "eyJ" then base64url, a dot, base64url, and optionally a dot and a signature.
std::string redactingJWTs(std::string_view text) {
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

// "name=value&..." with the values of secret names masked. In addresses "code" is an authorization code.
void appendRedactedItems(std::string& out, std::string_view items) {
  std::size_t start = 0;
  for (;;) {
    const auto amp = items.find('&', start);
    const std::string_view item = items.substr(start, amp == std::string_view::npos ? amp : amp - start);
    const auto equals = item.find('=');
    const std::string_view name = item.substr(0, equals);
    const std::string decoded = velmoria::base::removingPercentEncoding(name).value_or(std::string(name));
    if (equals != std::string_view::npos && (isSecretName(decoded) || lowercased(decoded) == "code")) {
      out.append(name).append("=").append(maskedSecret(item.substr(equals + 1)));
    } else {
      out.append(item);
    }
    if (amp == std::string_view::npos) break;
    out.push_back('&');
    start = amp + 1;
  }
}

bool isNameCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
         c == '.' || c == '%';
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Where a value that starts at `start` ends: an unescaped closing quote when it is quoted (or the end of
// text cut short), else the first character that ends a form value or an unquoted JSON value.
std::size_t valueEnd(std::string_view text, std::size_t start, bool quoted) {
  std::size_t end = start;
  if (quoted) {
    while (end < text.size() && text[end] != '"') end += text[end] == '\\' ? 2 : 1;
    return std::min(end, text.size());
  }
  while (end < text.size() && !isSpace(text[end]) &&
         std::string_view("&;,\"'}])").find(text[end]) == std::string_view::npos)
    ++end;
  return end;
}

// Secret-named pairs in text that is not JSON: form-encoded items ("refresh_token=...&...") and the
// members of JSON cut short ("{\"refresh_token\":\"..."), whose values may run to the end of the text.
std::string redactingSecretPairs(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t copied = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (!isNameCharacter(text[i]) || (i > 0 && isNameCharacter(text[i - 1]))) {
      ++i;
      continue;
    }
    std::size_t nameEnd = i;
    while (nameEnd < text.size() && isNameCharacter(text[nameEnd])) ++nameEnd;
    const std::string_view name = text.substr(i, nameEnd - i);
    std::size_t valueStart = std::string_view::npos;
    bool quoted = false;
    bool secret = false;
    const bool inQuotes = i > 0 && text[i - 1] == '"' && nameEnd < text.size() && text[nameEnd] == '"';
    if (inQuotes) {
      // "name" : value
      std::size_t at = nameEnd + 1;
      while (at < text.size() && isSpace(text[at])) ++at;
      if (at < text.size() && text[at] == ':') {
        ++at;
        while (at < text.size() && isSpace(text[at])) ++at;
        quoted = at < text.size() && text[at] == '"';
        valueStart = quoted ? at + 1 : at;
        secret = isSecretName(name);
      }
    } else if (nameEnd < text.size() && text[nameEnd] == '=') {
      // name=value; in a form, as in an address, "code" is an authorization code.
      valueStart = nameEnd + 1;
      const std::string decoded = velmoria::base::removingPercentEncoding(name).value_or(std::string(name));
      secret = isSecretName(decoded) || lowercased(decoded) == "code";
    }
    if (valueStart == std::string_view::npos || !secret) {
      i = nameEnd;
      continue;
    }
    const std::size_t end = valueEnd(text, valueStart, quoted);
    if (end > valueStart) {
      out.append(text.substr(copied, valueStart - copied));
      out.append(maskedSecret(text.substr(valueStart, end - valueStart)));
      copied = end;
    }
    i = std::max(end, nameEnd);
  }
  out.append(text.substr(copied));
  return out;
}

}  // namespace

std::string redactingSecrets(std::string_view text) {
  return redactingJWTs(redactingSecretPairs(redactingOTPAuthURIs(text)));
}

std::string redactingSecretsInURL(std::string_view url) {
  // Both the query and the fragment carry items: sign-in redirects put their tokens after the "#".
  const auto hash = url.find('#');
  const auto question = url.substr(0, hash).find('?');
  std::string out;
  if (question == std::string_view::npos) {
    out.append(url.substr(0, hash));
  } else {
    out.append(url.substr(0, question + 1));
    appendRedactedItems(out, url.substr(question + 1, hash == std::string_view::npos ? hash : hash - question - 1));
  }
  if (hash != std::string_view::npos) {
    out.push_back('#');
    appendRedactedItems(out, url.substr(hash + 1));
  }
  return redactingSecrets(out);
}

std::string redactingSecretsInJSON(std::string_view text) {
  nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
  if (parsed.is_discarded()) return redactingSecrets(text);
  detail::redactSecretMembers(parsed);
  return parsed.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string escapingLineBreaks(std::string_view text) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      out.push_back('%');
      out.push_back(hex[byte >> 4]);
      out.push_back(hex[byte & 0xf]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace zirudeze::helpers

namespace zirudeze::helpers::detail {

void redactSecretMembers(nlohmann::json& value) {
  if (value.is_object()) {
    // A multi-factor verification's "code" is the one-time code; elsewhere "code" names an error.
    const bool verifiesFactor = value.contains("challenge_id") || value.contains("factor_id");
    for (auto it = value.begin(); it != value.end(); ++it) {
      const bool secret = isSecretName(it.key()) || (verifiesFactor && it.key() == "code");
      if (secret && it.value().is_string()) {
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

}  // namespace zirudeze::helpers::detail
