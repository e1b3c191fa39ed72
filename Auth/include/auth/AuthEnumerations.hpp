#pragma once

#include <array>
#include <string_view>
#include <utility>

#include "auth/RawValueEnum.hpp"

namespace zirudeze::auth {

// What happened to the auth state; the texts are what subscribers see. No JSON form.
enum class AuthChangeEvent {
  initialSession,
  passwordRecovery,
  signedIn,
  signedOut,
  tokenRefreshed,
  userUpdated,
  userDeleted,
  mfaChallengeVerified,
};

enum class SignOutScope { global, local, others };

enum class EmailOTPType { signup, invite, magiclink, recovery, emailChange, email };
enum class MobileOTPType { sms, phoneChange };
enum class ResendEmailType { signup, emailChange };
enum class ResendMobileType { sms, phoneChange };
enum class MessagingChannel { sms, whatsapp };

// How sign-in hands back its result; no text form.
enum class AuthFlowType { implicit, pkce };

template <>
struct RawValueTable<AuthChangeEvent> {
  static constexpr std::string_view typeName = "AuthChangeEvent";
  static constexpr RawValueCoding coding = RawValueCoding::none;
  static constexpr std::pair<AuthChangeEvent, std::string_view> entries[] = {
      {AuthChangeEvent::initialSession, "INITIAL_SESSION"},
      {AuthChangeEvent::passwordRecovery, "PASSWORD_RECOVERY"},
      {AuthChangeEvent::signedIn, "SIGNED_IN"},
      {AuthChangeEvent::signedOut, "SIGNED_OUT"},
      {AuthChangeEvent::tokenRefreshed, "TOKEN_REFRESHED"},
      {AuthChangeEvent::userUpdated, "USER_UPDATED"},
      {AuthChangeEvent::userDeleted, "USER_DELETED"},
      {AuthChangeEvent::mfaChallengeVerified, "MFA_CHALLENGE_VERIFIED"},
  };
};

template <>
struct RawValueTable<SignOutScope> {
  static constexpr std::string_view typeName = "SignOutScope";
  static constexpr RawValueCoding coding = RawValueCoding::none;
  static constexpr std::pair<SignOutScope, std::string_view> entries[] = {
      {SignOutScope::global, "global"},
      {SignOutScope::local, "local"},
      {SignOutScope::others, "others"},
  };
};

template <>
struct RawValueTable<EmailOTPType> {
  static constexpr std::string_view typeName = "EmailOTPType";
  static constexpr RawValueCoding coding = RawValueCoding::encodeOnly;
  static constexpr std::pair<EmailOTPType, std::string_view> entries[] = {
      {EmailOTPType::signup, "signup"},
      {EmailOTPType::invite, "invite"},
      {EmailOTPType::magiclink, "magiclink"},
      {EmailOTPType::recovery, "recovery"},
      {EmailOTPType::emailChange, "email_change"},
      {EmailOTPType::email, "email"},
  };
  static constexpr std::array<EmailOTPType, 6> allCases = {EmailOTPType::signup,      EmailOTPType::invite,
                                                           EmailOTPType::magiclink,   EmailOTPType::recovery,
                                                           EmailOTPType::emailChange, EmailOTPType::email};
};

template <>
struct RawValueTable<MobileOTPType> {
  static constexpr std::string_view typeName = "MobileOTPType";
  static constexpr RawValueCoding coding = RawValueCoding::encodeOnly;
  static constexpr std::pair<MobileOTPType, std::string_view> entries[] = {
      {MobileOTPType::sms, "sms"},
      {MobileOTPType::phoneChange, "phone_change"},
  };
};

template <>
struct RawValueTable<ResendEmailType> {
  static constexpr std::string_view typeName = "ResendEmailType";
  static constexpr RawValueCoding coding = RawValueCoding::encodeOnly;
  static constexpr std::pair<ResendEmailType, std::string_view> entries[] = {
      {ResendEmailType::signup, "signup"},
      {ResendEmailType::emailChange, "email_change"},
  };
};

template <>
struct RawValueTable<ResendMobileType> {
  static constexpr std::string_view typeName = "ResendMobileType";
  static constexpr RawValueCoding coding = RawValueCoding::encodeOnly;
  static constexpr std::pair<ResendMobileType, std::string_view> entries[] = {
      {ResendMobileType::sms, "sms"},
      {ResendMobileType::phoneChange, "phone_change"},
  };
};

template <>
struct RawValueTable<MessagingChannel> {
  static constexpr std::string_view typeName = "MessagingChannel";
  static constexpr RawValueCoding coding = RawValueCoding::encodeAndDecode;
  static constexpr std::pair<MessagingChannel, std::string_view> entries[] = {
      {MessagingChannel::sms, "sms"},
      {MessagingChannel::whatsapp, "whatsapp"},
  };
};

}  // namespace zirudeze::auth
