#include "base/URLComponents.hpp"

#include "URLSyntax.hpp"
#include "base/PercentEncoding.hpp"
#include "base/Unicode.hpp"

namespace velmoria::base {
namespace {

std::optional<std::string> decoded(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  auto plain = removingPercentEncoding(*text);
  return plain ? std::move(*plain) : *text;
}

// Outside text may hold invalid UTF-8; it is repaired rather than dropped.
std::string encoded(std::string_view text, const CharacterSet& allowed) {
  auto result = addingPercentEncoding(text, allowed);
  return result ? std::move(*result) : *addingPercentEncoding(repairUTF8(text), allowed);
}

std::optional<std::string> encodedOptional(const std::optional<std::string>& text, const CharacterSet& allowed) {
  if (!text) return std::nullopt;
  return encoded(std::string_view(*text), allowed);
}

std::vector<URLQueryItem> splitQuery(std::string_view query, bool decode) {
  std::vector<URLQueryItem> items;
  if (query.empty()) return items;
  const auto text = [decode](std::string_view piece) {
    if (!decode) return std::string(piece);
    auto plain = removingPercentEncoding(piece);
    return plain ? std::move(*plain) : std::string(piece);
  };
  std::size_t begin = 0;
  while (true) {
    const std::size_t amp = query.find('&', begin);
    const std::string_view piece = query.substr(begin, amp == std::string_view::npos ? query.npos : amp - begin);
    const std::size_t eq = piece.find('=');
    if (eq == std::string_view::npos) {
      items.push_back({text(piece), std::nullopt});
    } else {
      items.push_back({text(piece.substr(0, eq)), text(piece.substr(eq + 1))});
    }
    if (amp == std::string_view::npos) break;
    begin = amp + 1;
  }
  return items;
}

std::string joinQuery(const std::vector<URLQueryItem>& items) {
  std::string query;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) query.push_back('&');
    query += items[i].name;
    if (items[i].value) {
      query.push_back('=');
      query += *items[i].value;
    }
  }
  return query;
}

CharacterSet queryItemAllowed() { return CharacterSet::urlQueryAllowed().subtracting("&="); }

}  // namespace

URLComponents::URLComponents(const URL& url)
    : scheme_(url.scheme()), port_(url.port()), path_(url.percentEncodedPath()) {
  const auto text = [&url](URLComponent c) -> std::optional<std::string> {
    const auto view = url.componentText(c);
    if (!view) return std::nullopt;
    return std::string(*view);
  };
  user_ = text(URLComponent::user);
  password_ = text(URLComponent::password);
  host_ = text(URLComponent::host);
  query_ = text(URLComponent::query);
  fragment_ = text(URLComponent::fragment);
}

std::optional<URLComponents> URLComponents::parse(std::string_view text) {
  const auto url = URL::parse(text);
  if (!url) return std::nullopt;
  return URLComponents(*url);
}

std::optional<std::string> URLComponents::user() const { return decoded(user_); }
void URLComponents::setUser(const std::optional<std::string>& user) {
  user_ = encodedOptional(user, CharacterSet::urlUserAllowed());
}

std::optional<std::string> URLComponents::password() const { return decoded(password_); }
void URLComponents::setPassword(const std::optional<std::string>& password) {
  password_ = encodedOptional(password, CharacterSet::urlPasswordAllowed());
}

std::optional<std::string> URLComponents::host() const { return decoded(host_); }
void URLComponents::setHost(const std::optional<std::string>& host) {
  host_ = encodedOptional(host, CharacterSet::urlHostAllowed());
}

std::string URLComponents::path() const { return *decoded(path_); }
void URLComponents::setPath(std::string_view path) { path_ = encoded(path, CharacterSet::urlPathAllowed()); }

std::optional<std::string> URLComponents::query() const { return decoded(query_); }
void URLComponents::setQuery(const std::optional<std::string>& query) {
  query_ = encodedOptional(query, CharacterSet::urlQueryAllowed());
}

std::optional<std::string> URLComponents::fragment() const { return decoded(fragment_); }
void URLComponents::setFragment(const std::optional<std::string>& fragment) {
  fragment_ = encodedOptional(fragment, CharacterSet::urlFragmentAllowed());
}

std::optional<std::vector<URLQueryItem>> URLComponents::queryItems() const {
  if (!query_) return std::nullopt;
  return splitQuery(*query_, true);
}

void URLComponents::setQueryItems(const std::optional<std::vector<URLQueryItem>>& items) {
  if (!items) {
    query_.reset();
    return;
  }
  const CharacterSet allowed = queryItemAllowed();
  std::vector<URLQueryItem> escaped;
  escaped.reserve(items->size());
  for (const auto& item : *items)
    escaped.push_back({encoded(item.name, allowed), encodedOptional(item.value, allowed)});
  query_ = joinQuery(escaped);
}

std::optional<std::vector<URLQueryItem>> URLComponents::percentEncodedQueryItems() const {
  if (!query_) return std::nullopt;
  return splitQuery(*query_, false);
}

void URLComponents::setPercentEncodedQueryItems(const std::optional<std::vector<URLQueryItem>>& items) {
  if (!items) {
    query_.reset();
    return;
  }
  query_ = joinQuery(*items);
}

std::optional<std::string> URLComponents::string() const {
  const auto size = [](const std::optional<std::string>& part) { return part ? part->size() + 1 : 0; };
  std::string text;
  text.reserve(size(scheme_) + 2 + size(user_) + size(password_) + size(host_) + 6 + path_.size() + size(query_) +
               size(fragment_));
  if (scheme_) {
    if (!detail::isValidScheme(*scheme_)) return std::nullopt;
    text += *scheme_;
    text += ':';
  }
  const bool hasAuthority = host_ || user_ || password_ || port_;
  if (hasAuthority) {
    text += "//";
    if (user_ || password_) {
      if (user_) {
        if (!detail::isValidUserInfoPart(*user_)) return std::nullopt;
        text += *user_;
      }
      if (password_) {
        if (!detail::isValidUserInfoPart(*password_)) return std::nullopt;
        text += ':';
        text += *password_;
      }
      text += '@';
    }
    if (host_) {
      if (!detail::isValidHost(*host_)) return std::nullopt;
      text += *host_;
    }
    if (port_) {
      if (*port_ < 0 || *port_ > 65535) return std::nullopt;
      text += ':';
      text += std::to_string(*port_);
    }
    if (!path_.empty() && path_.front() != '/') return std::nullopt;
  } else {
    if (path_.size() >= 2 && path_[0] == '/' && path_[1] == '/') return std::nullopt;
    // Without a scheme, a ":" in the first segment would read as one.
    if (!scheme_) {
      const std::size_t colon = path_.find(':');
      if (colon != std::string::npos && colon < path_.find('/')) return std::nullopt;
    }
  }
  if (!detail::isValidPath(path_)) return std::nullopt;
  text += path_;
  if (query_) {
    if (!detail::isValidQueryOrFragment(*query_)) return std::nullopt;
    text += '?';
    text += *query_;
  }
  if (fragment_) {
    if (!detail::isValidQueryOrFragment(*fragment_)) return std::nullopt;
    text += '#';
    text += *fragment_;
  }
  return text;
}

std::optional<URL> URLComponents::url() const {
  const auto text = string();
  if (!text) return std::nullopt;
  return URL::parse(*text);
}

}  // namespace velmoria::base
