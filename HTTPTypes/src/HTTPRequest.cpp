#include "httptypes/HTTPRequest.hpp"

#include "FieldAccess.hpp"
#include "PseudoHeaderNames.hpp"

namespace zirudeze::http {
namespace {

HTTPField methodField(const HTTPRequestMethod& method) {
  return detail::FieldAccess::unrepaired(detail::methodPseudoName(), ISOLatin1String::fromText(method.rawValue()));
}

std::optional<HTTPField> optionalField(const HTTPFieldName& name, std::optional<std::string_view> value) {
  if (!value) return std::nullopt;
  return HTTPField(name, *value);
}

std::optional<std::string> valueOf(const std::optional<HTTPField>& field) {
  if (!field) return std::nullopt;
  return field->value();
}

// A present field keeps its name and strategy and only takes the new value; an absent one is made anew.
std::optional<HTTPField> updated(const std::optional<HTTPField>& field, const HTTPFieldName& name,
                                 std::optional<std::string_view> value) {
  if (!value) return std::nullopt;
  if (!field) return HTTPField(name, *value);
  HTTPField changed = *field;
  changed.setValue(*value);
  return changed;
}

}  // namespace

HTTPRequest::HTTPRequest(const Method& method, std::optional<std::string_view> scheme,
                         std::optional<std::string_view> authority, std::optional<std::string_view> path,
                         HTTPFields headerFields)
    : pseudoHeaderFields_(methodField(method)), headerFields_(std::move(headerFields)) {
  pseudoHeaderFields_.setScheme(optionalField(detail::schemePseudoName(), scheme));
  pseudoHeaderFields_.setAuthority(optionalField(detail::authorityPseudoName(), authority));
  pseudoHeaderFields_.setPath(optionalField(detail::pathPseudoName(), path));
}

HTTPRequest::HTTPRequest(const Method& method, const velmoria::base::URL& url, HTTPFields headerFields)
    : pseudoHeaderFields_(methodField(method)), headerFields_(std::move(headerFields)) {
  setURL(url);
}

HTTPRequest::Method HTTPRequest::method() const { return Method(pseudoHeaderFields_.method().value()); }

void HTTPRequest::setMethod(const Method& method) {
  const HTTPField& old = pseudoHeaderFields_.method();
  pseudoHeaderFields_.setMethod(detail::FieldAccess::unrepaired(
      old.name(), ISOLatin1String::fromText(method.rawValue()), old.indexingStrategy()));
}

std::optional<std::string> HTTPRequest::scheme() const { return valueOf(pseudoHeaderFields_.scheme()); }
void HTTPRequest::setScheme(std::optional<std::string_view> value) {
  pseudoHeaderFields_.setScheme(updated(pseudoHeaderFields_.scheme(), detail::schemePseudoName(), value));
}

std::optional<std::string> HTTPRequest::authority() const { return valueOf(pseudoHeaderFields_.authority()); }
void HTTPRequest::setAuthority(std::optional<std::string_view> value) {
  pseudoHeaderFields_.setAuthority(updated(pseudoHeaderFields_.authority(), detail::authorityPseudoName(), value));
}

std::optional<std::string> HTTPRequest::path() const { return valueOf(pseudoHeaderFields_.path()); }
void HTTPRequest::setPath(std::optional<std::string_view> value) {
  pseudoHeaderFields_.setPath(updated(pseudoHeaderFields_.path(), detail::pathPseudoName(), value));
}

std::optional<std::string> HTTPRequest::extendedConnectProtocol() const {
  return valueOf(pseudoHeaderFields_.extendedConnectProtocol());
}
void HTTPRequest::setExtendedConnectProtocol(std::optional<std::string_view> value) {
  pseudoHeaderFields_.setExtendedConnectProtocol(
      updated(pseudoHeaderFields_.extendedConnectProtocol(), detail::protocolPseudoName(), value));
}

std::string HTTPRequest::debugDescription() const {
  std::string text = "(" + pseudoHeaderFields_.method().value() + ") ";
  if (const auto& scheme = pseudoHeaderFields_.scheme()) text += scheme->value() + "://";
  if (const auto& authority = pseudoHeaderFields_.authority()) text += authority->value();
  if (const auto& path = pseudoHeaderFields_.path()) text += path->value();
  return text;
}

}  // namespace zirudeze::http
