#include "httptypes/HTTPParsedFields.hpp"

#include "FieldAccess.hpp"
#include "PseudoHeaderNames.hpp"
#include "StatusDigits.hpp"
#include "httptypes/TokenCharacters.hpp"

namespace zirudeze::http {
namespace {

using Case = HTTPParsedFields::ParsingError::Case;

const char* caseName(Case kind) {
  switch (kind) {
    case Case::invalidName:
      return "invalidName";
    case Case::invalidPseudoName:
      return "invalidPseudoName";
    case Case::invalidPseudoValue:
      return "invalidPseudoValue";
    case Case::multiplePseudo:
      return "multiplePseudo";
    case Case::pseudoNotFirst:
      return "pseudoNotFirst";
    case Case::requestWithoutMethod:
      return "requestWithoutMethod";
    case Case::invalidMethod:
      return "invalidMethod";
    case Case::requestWithResponsePseudo:
      return "requestWithResponsePseudo";
    case Case::responseWithoutStatus:
      return "responseWithoutStatus";
    case Case::invalidStatus:
      return "invalidStatus";
    case Case::responseWithRequestPseudo:
      return "responseWithRequestPseudo";
    case Case::trailerFieldsWithPseudo:
      return "trailerFieldsWithPseudo";
    case Case::multipleContentLength:
      return "multipleContentLength";
    case Case::multipleContentDisposition:
      return "multipleContentDisposition";
    case Case::multipleLocation:
      return "multipleLocation";
    case Case::tooManyFields:
      return "tooManyFields";
  }
  return "unknown";
}

[[noreturn]] void fail(Case kind) { throw HTTPParsedFields::ParsingError(kind); }

std::optional<HTTPField> fieldFrom(const HTTPFieldName& name, const std::optional<ISOLatin1String>& value) {
  if (!value) return std::nullopt;
  return detail::FieldAccess::unrepaired(name, *value);
}

// Repeated fields of these names must agree.
void requireAgreement(const HTTPFields& fields, const HTTPFieldName& name, Case failure) {
  const std::vector<std::string> values = fields.values(name);
  for (const auto& value : values) {
    if (value != values.front()) fail(failure);
  }
}

}  // namespace

HTTPParsedFields::ParsingError::ParsingError(Case kind) : std::runtime_error(caseName(kind)), kind_(kind) {}

void HTTPParsedFields::add(const HTTPField& field) {
  if (!isPseudoHeaderName(field.name().rawName())) {
    // Input from outside: a list too long for the index is refused rather than stopping the program.
    if (fields_.count() >= HTTPFields::maximumCount) fail(Case::tooManyFields);
    fields_.append(field);
    return;
  }
  if (!fields_.isEmpty()) fail(Case::pseudoNotFirst);
  std::optional<ISOLatin1String>* slot = nullptr;
  const std::string& name = field.name().canonicalName();
  if (name == ":method")
    slot = &method_;
  else if (name == ":scheme")
    slot = &scheme_;
  else if (name == ":authority")
    slot = &authority_;
  else if (name == ":path")
    slot = &path_;
  else if (name == ":protocol")
    slot = &extendedConnectProtocol_;
  else if (name == ":status")
    slot = &status_;
  else
    fail(Case::invalidPseudoName);
  if (*slot) fail(Case::multiplePseudo);
  *slot = field.rawValue();
}

void HTTPParsedFields::validateFields() const {
  requireAgreement(fields_, HTTPFieldName::contentLength(), Case::multipleContentLength);
  requireAgreement(fields_, HTTPFieldName::contentDisposition(), Case::multipleContentDisposition);
  requireAgreement(fields_, HTTPFieldName::location(), Case::multipleLocation);
}

bool HTTPParsedFields::hasAnyRequestPseudo() const noexcept {
  return method_ || scheme_ || authority_ || path_ || extendedConnectProtocol_;
}

HTTPRequest HTTPParsedFields::request(std::span<const HTTPField> fields) {
  HTTPParsedFields parsed;
  for (const auto& field : fields) parsed.add(field);
  if (!parsed.method_) fail(Case::requestWithoutMethod);
  const std::string& method = parsed.method_->bytes();
  if (method.empty() || !hasOnlyTokenCharacters(method)) fail(Case::invalidMethod);
  if (parsed.status_) fail(Case::requestWithResponsePseudo);
  parsed.validateFields();

  HTTPRequestPseudoHeaderFields pseudo(*fieldFrom(detail::methodPseudoName(), parsed.method_));
  pseudo.setScheme(fieldFrom(detail::schemePseudoName(), parsed.scheme_));
  pseudo.setAuthority(fieldFrom(detail::authorityPseudoName(), parsed.authority_));
  pseudo.setPath(fieldFrom(detail::pathPseudoName(), parsed.path_));
  pseudo.setExtendedConnectProtocol(fieldFrom(detail::protocolPseudoName(), parsed.extendedConnectProtocol_));
  return HTTPRequest(std::move(pseudo), std::move(parsed.fields_));
}

HTTPResponse HTTPParsedFields::response(std::span<const HTTPField> fields) {
  HTTPParsedFields parsed;
  for (const auto& field : fields) parsed.add(field);
  if (!parsed.status_) fail(Case::responseWithoutStatus);
  if (parsed.hasAnyRequestPseudo()) fail(Case::responseWithRequestPseudo);
  const std::string& status = parsed.status_->bytes();
  if (!detail::isThreeDigitStatus(status)) fail(Case::invalidStatus);
  parsed.validateFields();
  return HTTPResponse(HTTPResponseStatus(detail::statusCodeOf(status)), std::move(parsed.fields_));
}

HTTPFields HTTPParsedFields::trailerFields(std::span<const HTTPField> fields) {
  HTTPParsedFields parsed;
  for (const auto& field : fields) parsed.add(field);
  if (parsed.hasAnyRequestPseudo() || parsed.status_) fail(Case::trailerFieldsWithPseudo);
  parsed.validateFields();
  return std::move(parsed.fields_);
}

}  // namespace zirudeze::http
