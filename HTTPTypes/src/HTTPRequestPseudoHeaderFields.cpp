#include "httptypes/HTTPRequestPseudoHeaderFields.hpp"

#include "PseudoHeaderNames.hpp"
#include "UniqueOwnership.hpp"
#include "base/Check.hpp"
#include "httptypes/TokenCharacters.hpp"

namespace zirudeze::http {
namespace {

void checkName(const std::optional<HTTPField>& field, const HTTPFieldName& expected, const char* message) {
  if (field) VM_CHECK(field->name() == expected, message);
}

void checkMethod(const HTTPField& field) {
  VM_CHECK(field.name() == detail::methodPseudoName(), "Pseudo header field is not \":method\"");
  const std::string& value = field.rawValue().bytes();
  VM_CHECK(!value.empty() && hasOnlyTokenCharacters(value), "\":method\" value is not a valid method");
}

void hashOptional(Hasher& hasher, const std::optional<HTTPField>& field) {
  if (field) {
    hasher.combine(std::uint8_t{1});
    field->hash(hasher);
  } else {
    hasher.combine(std::uint8_t{0});
  }
}

}  // namespace

HTTPRequestPseudoHeaderFields::HTTPRequestPseudoHeaderFields(HTTPField method) {
  checkMethod(method);
  storage_ = std::make_shared<Storage>(Storage{std::move(method), {}, {}, {}, {}});
}

HTTPRequestPseudoHeaderFields::Storage& HTTPRequestPseudoHeaderFields::unique() {
  if (!detail::isUniquelyOwned(storage_)) storage_ = std::make_shared<Storage>(*storage_);
  return *storage_;
}

void HTTPRequestPseudoHeaderFields::setMethod(HTTPField field) {
  checkMethod(field);
  unique().method = std::move(field);
}

void HTTPRequestPseudoHeaderFields::setScheme(std::optional<HTTPField> field) {
  checkName(field, detail::schemePseudoName(), "Pseudo header field is not \":scheme\"");
  unique().scheme = std::move(field);
}

void HTTPRequestPseudoHeaderFields::setAuthority(std::optional<HTTPField> field) {
  checkName(field, detail::authorityPseudoName(), "Pseudo header field is not \":authority\"");
  unique().authority = std::move(field);
}

void HTTPRequestPseudoHeaderFields::setPath(std::optional<HTTPField> field) {
  checkName(field, detail::pathPseudoName(), "Pseudo header field is not \":path\"");
  unique().path = std::move(field);
}

void HTTPRequestPseudoHeaderFields::setExtendedConnectProtocol(std::optional<HTTPField> field) {
  checkName(field, detail::protocolPseudoName(), "Pseudo header field is not \":protocol\"");
  unique().extendedConnectProtocol = std::move(field);
}

bool operator==(const HTTPRequestPseudoHeaderFields& lhs, const HTTPRequestPseudoHeaderFields& rhs) {
  const auto& a = *lhs.storage_;
  const auto& b = *rhs.storage_;
  return a.method == b.method && a.scheme == b.scheme && a.authority == b.authority && a.path == b.path &&
         a.extendedConnectProtocol == b.extendedConnectProtocol;
}

void HTTPRequestPseudoHeaderFields::hash(Hasher& hasher) const noexcept {
  storage_->method.hash(hasher);
  hashOptional(hasher, storage_->scheme);
  hashOptional(hasher, storage_->authority);
  hashOptional(hasher, storage_->path);
  hashOptional(hasher, storage_->extendedConnectProtocol);
}

}  // namespace zirudeze::http
