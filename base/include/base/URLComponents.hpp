#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/URL.hpp"

namespace velmoria::base {

// One name/value pair of a query. An item written without "=" has no value,
// which differs from an empty value ("a" versus "a=").
struct URLQueryItem {
  std::string name;
  std::optional<std::string> value;

  friend bool operator==(const URLQueryItem&, const URLQueryItem&) = default;
};

// A URL taken apart into editable components, stored percent-encoded. The
// plain setters percent-encode with the matching URL character set; the
// percentEncoded setters store text as given, and string()/url() refuse
// components that are not valid percent-encoded text.
class URLComponents {
 public:
  URLComponents() = default;
  explicit URLComponents(const URL& url);
  // Nothing for text that is not a valid URI reference.
  static std::optional<URLComponents> parse(std::string_view text);

  const std::optional<std::string>& scheme() const noexcept { return scheme_; }
  void setScheme(std::optional<std::string> scheme) { scheme_ = std::move(scheme); }

  std::optional<std::string> user() const;
  void setUser(const std::optional<std::string>& user);
  const std::optional<std::string>& percentEncodedUser() const noexcept { return user_; }
  void setPercentEncodedUser(std::optional<std::string> user) { user_ = std::move(user); }

  std::optional<std::string> password() const;
  void setPassword(const std::optional<std::string>& password);
  const std::optional<std::string>& percentEncodedPassword() const noexcept { return password_; }
  void setPercentEncodedPassword(std::optional<std::string> password) { password_ = std::move(password); }

  std::optional<std::string> host() const;
  void setHost(const std::optional<std::string>& host);
  const std::optional<std::string>& percentEncodedHost() const noexcept { return host_; }
  void setPercentEncodedHost(std::optional<std::string> host) { host_ = std::move(host); }

  const std::optional<int>& port() const noexcept { return port_; }
  void setPort(std::optional<int> port) { port_ = port; }

  std::string path() const;
  void setPath(std::string_view path);
  const std::string& percentEncodedPath() const noexcept { return path_; }
  void setPercentEncodedPath(std::string path) { path_ = std::move(path); }

  std::optional<std::string> query() const;
  void setQuery(const std::optional<std::string>& query);
  const std::optional<std::string>& percentEncodedQuery() const noexcept { return query_; }
  void setPercentEncodedQuery(std::optional<std::string> query) { query_ = std::move(query); }

  std::optional<std::string> fragment() const;
  void setFragment(const std::optional<std::string>& fragment);
  const std::optional<std::string>& percentEncodedFragment() const noexcept { return fragment_; }
  void setPercentEncodedFragment(std::optional<std::string> fragment) { fragment_ = std::move(fragment); }

  // The query split at "&", each piece at its first "="; nothing without a
  // query, an empty list for an empty one. Names and values are percent-decoded.
  std::optional<std::vector<URLQueryItem>> queryItems() const;
  // Encodes names and values with the query set minus "&" and "=". An empty
  // list leaves an empty query ("?"), nothing removes the query.
  void setQueryItems(const std::optional<std::vector<URLQueryItem>>& items);
  // The same split without decoding, and a setter that joins items as given.
  std::optional<std::vector<URLQueryItem>> percentEncodedQueryItems() const;
  void setPercentEncodedQueryItems(const std::optional<std::vector<URLQueryItem>>& items);

  // The URL text, or nothing when a component is invalid or the combination is
  // (an authority with a path not starting with "/", a path starting with "//"
  // without one, a port outside 0...65535).
  std::optional<std::string> string() const;
  std::optional<URL> url() const;

  friend bool operator==(const URLComponents&, const URLComponents&) = default;

 private:
  std::optional<std::string> scheme_, user_, password_, host_;
  std::optional<int> port_;
  std::string path_;
  std::optional<std::string> query_, fragment_;
};

}  // namespace velmoria::base
