#pragma once

#include <string>
#include <string_view>

namespace zirudeze::helpers {

// Secrets never reach a log record in full. These mask what looks like a credential:
// JSON members named like tokens, keys, passwords, code verifiers or one-time codes; query and fragment
// items of such names; anything shaped like a JSON web token; and TOTP provisioning addresses
// ("otpauth://..."). A masked value of 16 or more characters keeps its first four.
// For any text: also the values of secret-named pairs in it, each masked whole: form-encoded
// ("refresh_token=...", up to the next "&"), assigned or given as a header ("refresh_token = ...",
// "apikey: ...", the credential of "Authorization: Bearer ..."), quoted after "=" or ":" (up to the closing
// quote), and the members of JSON cut short or of dictionaries in other notations ("{'refresh_token': ..."),
// whose value may run to the end of the text.
std::string redactingSecrets(std::string_view text);
// The same for a URL: query and fragment items with secret names (and "code") lose their values,
// tokens in the text are masked.
std::string redactingSecretsInURL(std::string_view url);
// The same for JSON text: members with secret names lose their values (nested ones too, and those of JSON
// held in a string), and the text comes back compact. Text that is no JSON goes through redactingSecrets.
std::string redactingSecretsInJSON(std::string_view text);
// True for member and item names that carry credentials ("access_token", "apikey", "password", ...).
bool isSecretName(std::string_view name) noexcept;
// The masked form of one secret value.
std::string maskedSecret(std::string_view value);
// Control characters (line breaks above all) as %XX, so text from outside cannot start a log line.
std::string escapingLineBreaks(std::string_view text);

}  // namespace zirudeze::helpers
