#include "auth/MultiFactorTypes.hpp"

#include "base/coding/Coding.hpp"

namespace zirudeze::auth {

void Factor::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("id", id);
  c.encodeIfPresent("friendlyName", friendlyName);
  c.encode("factorType", factorType);
  c.encode("status", status);
  c.encode("createdAt", createdAt);
  c.encode("updatedAt", updatedAt);
}

Factor Factor::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  Factor factor;
  factor.id = c.decode<std::string>("id");
  factor.friendlyName = c.decodeIfPresent<std::string>("friendlyName");
  factor.factorType = c.decode<std::string>("factorType");
  factor.status = c.decode<FactorStatus>("status");
  factor.createdAt = c.decode<velmoria::base::Date>("createdAt");
  factor.updatedAt = c.decode<velmoria::base::Date>("updatedAt");
  return factor;
}

void MFATotpEnrollParams::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("factorType", std::string(factorType));
  c.encodeIfPresent("issuer", issuer);
  c.encodeIfPresent("friendlyName", friendlyName);
}

void MFAPhoneEnrollParams::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("factorType", std::string(factorType));
  c.encodeIfPresent("friendlyName", friendlyName);
  c.encode("phone", phone);
}

std::string_view MFAEnrollParamsType::factorType() const {
  return std::visit([](const auto& params) { return params.factorType; }, params_);
}

void MFAEnrollParamsType::encode(velmoria::base::Encoder& encoder) const {
  std::visit([&](const auto& params) { params.encode(encoder); }, params_);
}

AuthMFAEnrollResponse::TOTP AuthMFAEnrollResponse::TOTP::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  TOTP totp;
  totp.qrCode = c.decode<std::string>("qrCode");
  totp.secret = c.decode<std::string>("secret");
  totp.uri = c.decode<std::string>("uri");
  return totp;
}

AuthMFAEnrollResponse AuthMFAEnrollResponse::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  AuthMFAEnrollResponse response;
  response.id = c.decode<std::string>("id");
  response.type = c.decode<std::string>("type");
  response.totp = c.decodeIfPresent<TOTP>("totp");
  response.friendlyName = c.decodeIfPresent<std::string>("friendlyName");
  response.phone = c.decodeIfPresent<std::string>("phone");
  return response;
}

void MFAChallengeParams::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("factorId", factorId);
  c.encodeIfPresent("channel", channel);
}

void MFAVerifyParams::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("factorId", factorId);
  c.encode("challengeId", challengeId);
  c.encode("code", code);
}

void MFAChallengeAndVerifyParams::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("factorId", factorId);
  c.encode("code", code);
}

void MFAUnenrollParams::encode(velmoria::base::Encoder& encoder) const {
  auto c = encoder.container();
  c.encode("factorId", factorId);
}

AuthMFAChallengeResponse AuthMFAChallengeResponse::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  AuthMFAChallengeResponse response;
  response.id = c.decode<std::string>("id");
  response.type = c.decode<std::string>("type");
  response.expiresAt = c.decode<double>("expiresAt");
  return response;
}

AuthMFAUnenrollResponse AuthMFAUnenrollResponse::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  return {c.decode<std::string>("id")};
}

AuthMFAListFactorsResponse AuthMFAListFactorsResponse::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  AuthMFAListFactorsResponse response;
  response.all = c.decode<std::vector<Factor>>("all");
  response.totp = c.decode<std::vector<Factor>>("totp");
  response.phone = c.decode<std::vector<Factor>>("phone");
  return response;
}

std::optional<AMREntry> AMREntry::fromJSON(const helpers::AnyJSON& value) {
  const helpers::JSONObject* object = value.objectValue();
  if (object == nullptr) return std::nullopt;
  const auto method = object->find("method");
  const auto timestamp = object->find("timestamp");
  if (method == object->end() || timestamp == object->end()) return std::nullopt;
  const std::string* methodText = method->second.stringValue();
  if (methodText == nullptr) return std::nullopt;
  // The claim's times are integers as often as fractions.
  std::optional<double> seconds = timestamp->second.doubleValue();
  if (!seconds) {
    if (const auto integer = timestamp->second.intValue()) seconds = static_cast<double>(*integer);
  }
  if (!seconds) return std::nullopt;
  return AMREntry{*methodText, *seconds};
}

AMREntry AMREntry::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  AMREntry entry;
  entry.method = c.decode<std::string>("method");
  entry.timestamp = c.decode<double>("timestamp");
  return entry;
}

AuthMFAGetAuthenticatorAssuranceLevelResponse AuthMFAGetAuthenticatorAssuranceLevelResponse::decode(
    const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  AuthMFAGetAuthenticatorAssuranceLevelResponse response;
  response.currentLevel = c.decodeIfPresent<std::string>("currentLevel");
  response.nextLevel = c.decodeIfPresent<std::string>("nextLevel");
  response.currentAuthenticationMethods = c.decode<std::vector<AMREntry>>("currentAuthenticationMethods");
  return response;
}

}  // namespace zirudeze::auth
