#pragma once

#include <string>
#include <string_view>

namespace zirudeze::helpers {

// Secrets never reach a log record in full. These mask what looks like a credential:
// JSON members named like tokens, keys, passwords or code verifiers; query items of such names; and
// anything shaped like a JSON web token. A masked value of 16 or more characters keeps its first four.
std::string redactingSecrets(std::string_view text);
// The same for a URL: query items with secret names lose their values, tokens in the text are masked.
std::string redactingSecretsInURL(std::string_view url);
// True for member and item names that carry credentials ("access_token", "apikey", "password", ...).
bool isSecretName(std::string_view name) noexcept;
// The masked form of one secret value.
std::string maskedSecret(std::string_view value);

}  // namespace zirudeze::helpers
