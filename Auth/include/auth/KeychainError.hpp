#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace zirudeze::auth {

// A keychain failure. Its description (what(), localizedDescription(), debugDescription()) is its
// code's message.
class KeychainError : public std::exception {
 public:
  // The keychain status behind a failure: a raw status number and a message.
  class Code {
   public:
    enum class Kind : std::uint8_t {
      other,
      unknown,
      operationNotImplemented,
      invalidParameters,
      userCanceled,
      itemNotAvailable,
      authFailed,
      duplicateItem,
      itemNotFound,
      interactionNotAllowed,
      decodeFailed,
    };

    // Never fails: each of the nine known statuses gives its case, any other (0 included) other(status).
    explicit Code(std::int32_t rawValue);

    static Code other(std::int32_t status);
    // Raw value 0, message "Unknown error: <message>.".
    static Code unknown(std::string message);
    static Code operationNotImplemented() { return Code(-4); }
    static Code invalidParameters() { return Code(-50); }
    static Code userCanceled() { return Code(-128); }
    static Code itemNotAvailable() { return Code(-25291); }
    static Code authFailed() { return Code(-25293); }
    static Code duplicateItem() { return Code(-25299); }
    static Code itemNotFound() { return Code(-25300); }
    static Code interactionNotAllowed() { return Code(-25308); }
    static Code decodeFailed() { return Code(-26275); }

    Kind kind() const noexcept { return kind_; }
    std::int32_t rawValue() const noexcept { return rawValue_; }
    std::string message() const;

    // Equal raw values and equal messages.
    friend bool operator==(const Code& lhs, const Code& rhs) {
      return lhs.rawValue_ == rhs.rawValue_ && lhs.message() == rhs.message();
    }

   private:
    Code(Kind kind, std::int32_t rawValue, std::string unknownMessage);

    Kind kind_;
    std::int32_t rawValue_;
    std::string unknownMessage_;
  };

  explicit KeychainError(Code code);

  const Code& code() const noexcept { return code_; }
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& localizedDescription() const noexcept { return message_; }
  const std::string& debugDescription() const noexcept { return message_; }

  friend bool operator==(const KeychainError& lhs, const KeychainError& rhs) { return lhs.code_ == rhs.code_; }

 private:
  Code code_;
  std::string message_;
};

}  // namespace zirudeze::auth
