#pragma once

#include <compare>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>

#include "base/coding/Decoder.hpp"

namespace zirudeze::auth {

// A machine-readable error code of the auth service. Any text is a code; the constants are the ones the
// service defines. Compared and hashed by its text alone; read from a JSON string, never written.
class ErrorCode {
 public:
  explicit ErrorCode(std::string rawValue) : rawValue_(std::move(rawValue)) {}

  const std::string& rawValue() const noexcept { return rawValue_; }

  static ErrorCode decode(const velmoria::base::Decoder& decoder);

  friend bool operator==(const ErrorCode&, const ErrorCode&) = default;
  friend auto operator<=>(const ErrorCode&, const ErrorCode&) = default;

  static const ErrorCode unknown;
  static const ErrorCode unexpectedFailure;
  static const ErrorCode validationFailed;
  static const ErrorCode badJson;
  static const ErrorCode emailExists;
  static const ErrorCode phoneExists;
  static const ErrorCode badJwt;
  static const ErrorCode notAdmin;
  static const ErrorCode noAuthorization;
  static const ErrorCode userNotFound;
  static const ErrorCode sessionNotFound;
  static const ErrorCode sessionExpired;
  static const ErrorCode refreshTokenNotFound;
  static const ErrorCode refreshTokenAlreadyUsed;
  static const ErrorCode flowStateNotFound;
  static const ErrorCode flowStateExpired;
  static const ErrorCode signupDisabled;
  static const ErrorCode userBanned;
  static const ErrorCode providerEmailNeedsVerification;
  static const ErrorCode inviteNotFound;
  static const ErrorCode badOauthState;
  static const ErrorCode badOauthCallback;
  static const ErrorCode oauthProviderNotSupported;
  static const ErrorCode unexpectedAudience;
  static const ErrorCode singleIdentityNotDeletable;
  static const ErrorCode emailConflictIdentityNotDeletable;
  static const ErrorCode identityAlreadyExists;
  static const ErrorCode emailProviderDisabled;
  static const ErrorCode phoneProviderDisabled;
  static const ErrorCode tooManyEnrolledMfaFactors;
  static const ErrorCode mfaFactorNameConflict;
  static const ErrorCode mfaFactorNotFound;
  static const ErrorCode mfaIpAddressMismatch;
  static const ErrorCode mfaChallengeExpired;
  static const ErrorCode mfaVerificationFailed;
  static const ErrorCode mfaVerificationRejected;
  static const ErrorCode insufficientAal;
  static const ErrorCode captchaFailed;
  static const ErrorCode samlProviderDisabled;
  static const ErrorCode manualLinkingDisabled;
  static const ErrorCode smsSendFailed;
  static const ErrorCode emailNotConfirmed;
  static const ErrorCode phoneNotConfirmed;
  static const ErrorCode samlRelayStateNotFound;
  static const ErrorCode samlRelayStateExpired;
  static const ErrorCode samlIdpNotFound;
  static const ErrorCode samlAssertionNoUserId;
  static const ErrorCode samlAssertionNoEmail;
  static const ErrorCode userAlreadyExists;
  static const ErrorCode ssoProviderNotFound;
  static const ErrorCode samlMetadataFetchFailed;
  static const ErrorCode samlIdpAlreadyExists;
  static const ErrorCode ssoDomainAlreadyExists;
  static const ErrorCode samlEntityIdMismatch;
  static const ErrorCode conflict;
  static const ErrorCode providerDisabled;
  static const ErrorCode userSsoManaged;
  static const ErrorCode reauthenticationNeeded;
  static const ErrorCode samePassword;
  static const ErrorCode reauthenticationNotValid;
  static const ErrorCode otpExpired;
  static const ErrorCode otpDisabled;
  static const ErrorCode identityNotFound;
  static const ErrorCode weakPassword;
  static const ErrorCode overRequestRateLimit;
  static const ErrorCode overEmailSendRateLimit;
  static const ErrorCode overSmsSendRateLimit;
  static const ErrorCode badCodeVerifier;
  static const ErrorCode anonymousProviderDisabled;
  static const ErrorCode hookTimeout;
  static const ErrorCode hookTimeoutAfterRetry;
  static const ErrorCode hookPayloadOverSizeLimit;
  static const ErrorCode hookPayloadInvalidContentType;
  static const ErrorCode requestTimeout;
  static const ErrorCode mfaPhoneEnrollNotEnabled;
  static const ErrorCode mfaPhoneVerifyNotEnabled;
  static const ErrorCode mfaTotpEnrollNotEnabled;
  static const ErrorCode mfaTotpVerifyNotEnabled;
  static const ErrorCode mfaWebauthnEnrollNotEnabled;
  static const ErrorCode mfaWebauthnVerifyNotEnabled;
  static const ErrorCode mfaVerifiedFactorExists;
  static const ErrorCode invalidCredentials;
  static const ErrorCode emailAddressNotAuthorized;
  static const ErrorCode invalidJwt;

 private:
  std::string rawValue_;
};

inline const ErrorCode ErrorCode::unknown{"unknown"};
inline const ErrorCode ErrorCode::unexpectedFailure{"unexpected_failure"};
inline const ErrorCode ErrorCode::validationFailed{"validation_failed"};
inline const ErrorCode ErrorCode::badJson{"bad_json"};
inline const ErrorCode ErrorCode::emailExists{"email_exists"};
inline const ErrorCode ErrorCode::phoneExists{"phone_exists"};
inline const ErrorCode ErrorCode::badJwt{"bad_jwt"};
inline const ErrorCode ErrorCode::notAdmin{"not_admin"};
inline const ErrorCode ErrorCode::noAuthorization{"no_authorization"};
inline const ErrorCode ErrorCode::userNotFound{"user_not_found"};
inline const ErrorCode ErrorCode::sessionNotFound{"session_not_found"};
inline const ErrorCode ErrorCode::sessionExpired{"session_expired"};
inline const ErrorCode ErrorCode::refreshTokenNotFound{"refresh_token_not_found"};
inline const ErrorCode ErrorCode::refreshTokenAlreadyUsed{"refresh_token_already_used"};
inline const ErrorCode ErrorCode::flowStateNotFound{"flow_state_not_found"};
inline const ErrorCode ErrorCode::flowStateExpired{"flow_state_expired"};
inline const ErrorCode ErrorCode::signupDisabled{"signup_disabled"};
inline const ErrorCode ErrorCode::userBanned{"user_banned"};
inline const ErrorCode ErrorCode::providerEmailNeedsVerification{"provider_email_needs_verification"};
inline const ErrorCode ErrorCode::inviteNotFound{"invite_not_found"};
inline const ErrorCode ErrorCode::badOauthState{"bad_oauth_state"};
inline const ErrorCode ErrorCode::badOauthCallback{"bad_oauth_callback"};
inline const ErrorCode ErrorCode::oauthProviderNotSupported{"oauth_provider_not_supported"};
inline const ErrorCode ErrorCode::unexpectedAudience{"unexpected_audience"};
inline const ErrorCode ErrorCode::singleIdentityNotDeletable{"single_identity_not_deletable"};
inline const ErrorCode ErrorCode::emailConflictIdentityNotDeletable{"email_conflict_identity_not_deletable"};
inline const ErrorCode ErrorCode::identityAlreadyExists{"identity_already_exists"};
inline const ErrorCode ErrorCode::emailProviderDisabled{"email_provider_disabled"};
inline const ErrorCode ErrorCode::phoneProviderDisabled{"phone_provider_disabled"};
inline const ErrorCode ErrorCode::tooManyEnrolledMfaFactors{"too_many_enrolled_mfa_factors"};
inline const ErrorCode ErrorCode::mfaFactorNameConflict{"mfa_factor_name_conflict"};
inline const ErrorCode ErrorCode::mfaFactorNotFound{"mfa_factor_not_found"};
inline const ErrorCode ErrorCode::mfaIpAddressMismatch{"mfa_ip_address_mismatch"};
inline const ErrorCode ErrorCode::mfaChallengeExpired{"mfa_challenge_expired"};
inline const ErrorCode ErrorCode::mfaVerificationFailed{"mfa_verification_failed"};
inline const ErrorCode ErrorCode::mfaVerificationRejected{"mfa_verification_rejected"};
inline const ErrorCode ErrorCode::insufficientAal{"insufficient_aal"};
inline const ErrorCode ErrorCode::captchaFailed{"captcha_failed"};
inline const ErrorCode ErrorCode::samlProviderDisabled{"saml_provider_disabled"};
inline const ErrorCode ErrorCode::manualLinkingDisabled{"manual_linking_disabled"};
inline const ErrorCode ErrorCode::smsSendFailed{"sms_send_failed"};
inline const ErrorCode ErrorCode::emailNotConfirmed{"email_not_confirmed"};
inline const ErrorCode ErrorCode::phoneNotConfirmed{"phone_not_confirmed"};
inline const ErrorCode ErrorCode::samlRelayStateNotFound{"saml_relay_state_not_found"};
inline const ErrorCode ErrorCode::samlRelayStateExpired{"saml_relay_state_expired"};
inline const ErrorCode ErrorCode::samlIdpNotFound{"saml_idp_not_found"};
inline const ErrorCode ErrorCode::samlAssertionNoUserId{"saml_assertion_no_user_id"};
inline const ErrorCode ErrorCode::samlAssertionNoEmail{"saml_assertion_no_email"};
inline const ErrorCode ErrorCode::userAlreadyExists{"user_already_exists"};
inline const ErrorCode ErrorCode::ssoProviderNotFound{"sso_provider_not_found"};
inline const ErrorCode ErrorCode::samlMetadataFetchFailed{"saml_metadata_fetch_failed"};
inline const ErrorCode ErrorCode::samlIdpAlreadyExists{"saml_idp_already_exists"};
inline const ErrorCode ErrorCode::ssoDomainAlreadyExists{"sso_domain_already_exists"};
inline const ErrorCode ErrorCode::samlEntityIdMismatch{"saml_entity_id_mismatch"};
inline const ErrorCode ErrorCode::conflict{"conflict"};
inline const ErrorCode ErrorCode::providerDisabled{"provider_disabled"};
inline const ErrorCode ErrorCode::userSsoManaged{"user_sso_managed"};
inline const ErrorCode ErrorCode::reauthenticationNeeded{"reauthentication_needed"};
inline const ErrorCode ErrorCode::samePassword{"same_password"};
inline const ErrorCode ErrorCode::reauthenticationNotValid{"reauthentication_not_valid"};
inline const ErrorCode ErrorCode::otpExpired{"otp_expired"};
inline const ErrorCode ErrorCode::otpDisabled{"otp_disabled"};
inline const ErrorCode ErrorCode::identityNotFound{"identity_not_found"};
inline const ErrorCode ErrorCode::weakPassword{"weak_password"};
inline const ErrorCode ErrorCode::overRequestRateLimit{"over_request_rate_limit"};
inline const ErrorCode ErrorCode::overEmailSendRateLimit{"over_email_send_rate_limit"};
inline const ErrorCode ErrorCode::overSmsSendRateLimit{"over_sms_send_rate_limit"};
inline const ErrorCode ErrorCode::badCodeVerifier{"bad_code_verifier"};
inline const ErrorCode ErrorCode::anonymousProviderDisabled{"anonymous_provider_disabled"};
inline const ErrorCode ErrorCode::hookTimeout{"hook_timeout"};
inline const ErrorCode ErrorCode::hookTimeoutAfterRetry{"hook_timeout_after_retry"};
inline const ErrorCode ErrorCode::hookPayloadOverSizeLimit{"hook_payload_over_size_limit"};
inline const ErrorCode ErrorCode::hookPayloadInvalidContentType{"hook_payload_invalid_content_type"};
inline const ErrorCode ErrorCode::requestTimeout{"request_timeout"};
inline const ErrorCode ErrorCode::mfaPhoneEnrollNotEnabled{"mfa_phone_enroll_not_enabled"};
inline const ErrorCode ErrorCode::mfaPhoneVerifyNotEnabled{"mfa_phone_verify_not_enabled"};
inline const ErrorCode ErrorCode::mfaTotpEnrollNotEnabled{"mfa_totp_enroll_not_enabled"};
inline const ErrorCode ErrorCode::mfaTotpVerifyNotEnabled{"mfa_totp_verify_not_enabled"};
inline const ErrorCode ErrorCode::mfaWebauthnEnrollNotEnabled{"mfa_webauthn_enroll_not_enabled"};
inline const ErrorCode ErrorCode::mfaWebauthnVerifyNotEnabled{"mfa_webauthn_verify_not_enabled"};
inline const ErrorCode ErrorCode::mfaVerifiedFactorExists{"mfa_verified_factor_exists"};
inline const ErrorCode ErrorCode::invalidCredentials{"invalid_credentials"};
inline const ErrorCode ErrorCode::emailAddressNotAuthorized{"email_address_not_authorized"};
inline const ErrorCode ErrorCode::invalidJwt{"invalid_jwt"};

}  // namespace zirudeze::auth

template <>
struct std::hash<zirudeze::auth::ErrorCode> {
  std::size_t operator()(const zirudeze::auth::ErrorCode& code) const noexcept {
    return std::hash<std::string>{}(code.rawValue());
  }
};
