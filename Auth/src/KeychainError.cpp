#include "auth/KeychainError.hpp"

#include <string_view>
#include <utility>

namespace zirudeze::auth {
namespace {

using Kind = KeychainError::Code::Kind;

struct KnownStatus {
  Kind kind;
  std::int32_t status;
  std::string_view message;
};

constexpr KnownStatus kKnownStatuses[] = {
    {Kind::operationNotImplemented, -4, "errSecUnimplemented: A function or operation is not implemented."},
    {Kind::invalidParameters, -50, "errSecParam: One or more parameters passed to the function are not valid."},
    {Kind::userCanceled, -128, "errSecUserCanceled: User canceled the operation."},
    {Kind::itemNotAvailable, -25291, "errSecNotAvailable: No trust results are available."},
    {Kind::authFailed, -25293, "errSecAuthFailed: Authorization and/or authentication failed."},
    {Kind::duplicateItem, -25299, "errSecDuplicateItem: The item already exists."},
    {Kind::itemNotFound, -25300, "errSecItemNotFound: The item cannot be found."},
    {Kind::interactionNotAllowed, -25308,
     "errSecInteractionNotAllowed: Interaction with the Security Server is not allowed."},
    {Kind::decodeFailed, -26275, "errSecDecode: Unable to decode the provided data."},
};

}  // namespace

KeychainError::Code::Code(Kind kind, std::int32_t rawValue, std::string unknownMessage)
    : kind_(kind), rawValue_(rawValue), unknownMessage_(std::move(unknownMessage)) {}

KeychainError::Code::Code(std::int32_t rawValue) : kind_(Kind::other), rawValue_(rawValue) {
  for (const auto& known : kKnownStatuses)
    if (known.status == rawValue) kind_ = known.kind;
}

KeychainError::Code KeychainError::Code::other(std::int32_t status) { return Code(Kind::other, status, {}); }

KeychainError::Code KeychainError::Code::unknown(std::string message) {
  return Code(Kind::unknown, 0, std::move(message));
}

std::string KeychainError::Code::message() const {
  switch (kind_) {
    case Kind::other:
      return "Unspecified Keychain error: " + std::to_string(rawValue_) + ".";
    case Kind::unknown:
      return "Unknown error: " + unknownMessage_ + ".";
    default:
      break;
  }
  for (const auto& known : kKnownStatuses)
    if (known.kind == kind_) return std::string(known.message);
  return {};
}

KeychainError::KeychainError(Code code) : code_(std::move(code)), message_(code_.message()) {}

}  // namespace zirudeze::auth
