#include "helpers/LogRedaction.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <tuple>
#include <utility>

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

std::size_t skipSpaces(std::string_view text, std::size_t at) {
  while (at < text.size() && isSpace(text[at])) ++at;
  return at;
}

// Where a value quoted with `quote` that starts at `start` ends: at its unescaped closing quote, or at the
// end of text cut short.
std::size_t quotedValueEnd(std::string_view text, std::size_t start, char quote) {
  std::size_t end = start;
  while (end < text.size() && text[end] != quote) end += text[end] == '\\' ? 2 : 1;
  return std::min(end, text.size());
}

// Where an unquoted value ends: a form value ("name=...") runs to the next item; any other ("name: ...")
// stops where a JSON or header value would.
std::size_t bareValueEnd(std::string_view text, std::size_t start, char separator) {
  const std::string_view stops = separator == '=' ? std::string_view("&") : std::string_view("&;,\"'}])");
  std::size_t end = start;
  while (end < text.size() && !isSpace(text[end]) && stops.find(text[end]) == std::string_view::npos) ++end;
  return end;
}

// "Bearer <credential>": the scheme stays readable, the credential after it is the secret.
std::optional<std::pair<std::size_t, std::size_t>> credentialAfterScheme(std::string_view text, std::size_t start,
                                                                         std::size_t end) {
  const std::string scheme = lowercased(text.substr(start, end - start));
  if (scheme != "bearer" && scheme != "basic" && scheme != "digest" && scheme != "token") return std::nullopt;
  const std::size_t credential = skipSpaces(text, end);
  if (credential == end || credential == text.size()) return std::nullopt;
  std::size_t credentialEnd = credential;
  while (credentialEnd < text.size() && !isSpace(text[credentialEnd]) && text[credentialEnd] != '"' &&
         text[credentialEnd] != '\'')
    ++credentialEnd;
  return std::pair{credential, credentialEnd};
}

// Secret-named pairs in text that is not JSON: form-encoded items ("refresh_token=...&..."), header and
// assignment shapes ("apikey: ...", "refresh_token = ...", "password=\"...\""), and the members of JSON cut
// short or of other dictionaries ("{'refresh_token': '..."), whose values may run to the end of the text.
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
    const char before = i > 0 ? text[i - 1] : '\0';
    const bool quotedName = (before == '"' || before == '\'') && nameEnd < text.size() && text[nameEnd] == before;
    const std::size_t separatorAt = skipSpaces(text, quotedName ? nameEnd + 1 : nameEnd);
    const char separator = separatorAt < text.size() ? text[separatorAt] : '\0';
    bool secret = false;
    if (separator == ':') {
      secret = isSecretName(name);
    } else if (separator == '=' && !quotedName) {
      // In a form, as in an address, "code" is an authorization code.
      const std::string decoded = velmoria::base::removingPercentEncoding(name).value_or(std::string(name));
      secret = isSecretName(decoded) || lowercased(decoded) == "code";
    }
    if (!secret) {
      i = nameEnd;
      continue;
    }
    std::size_t valueStart = skipSpaces(text, separatorAt + 1);
    std::size_t end = valueStart;
    if (valueStart < text.size() && (text[valueStart] == '"' || text[valueStart] == '\'')) {
      const char quote = text[valueStart++];
      end = quotedValueEnd(text, valueStart, quote);
    } else {
      end = bareValueEnd(text, valueStart, separator);
      if (const auto credential = credentialAfterScheme(text, valueStart, end)) std::tie(valueStart, end) = *credential;
    }
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
  if (auto redacted = detail::redactedJSONText(text)) return std::move(*redacted);
  return redactingSecrets(text);
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
    const auto& text = value.get_ref<const std::string&>();
    // JSON carried in a string (an error message quoting a request) is read as JSON too.
    const auto first = text.find_first_not_of(" \t\r\n");
    std::optional<std::string> nested;
    if (first != std::string::npos && (text[first] == '{' || text[first] == '[')) nested = redactedJSONText(text);
    value = nested ? std::move(*nested) : redactingSecrets(text);
  }
}

std::optional<std::string> redactedJSONText(std::string_view text) {
  nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
  if (parsed.is_discarded()) return std::nullopt;
  redactSecretMembers(parsed);
  return parsed.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace zirudeze::helpers::detail
