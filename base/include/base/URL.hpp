#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velmoria::base {

// A byte range into a URL's text.
struct URLRange {
  std::size_t location = 0;
  std::size_t length = 0;
  friend constexpr bool operator==(const URLRange&, const URLRange&) noexcept = default;
};

enum class URLComponent { scheme, user, password, host, port, path, query, fragment };

// An RFC 3986 URI reference (absolute, or relative without a scheme), kept as
// the exact text it was parsed from. Parsing is strict: characters the grammar
// does not allow, malformed escapes and ports above 65535 are refused, and
// nothing is normalised (the host keeps its letter case).
class URL {
 public:
  // Nothing for empty or malformed text.
  static std::optional<URL> parse(std::string_view text);
  // A "file" URL for a local path, percent-encoded; a relative path is taken
  // from the current directory. A directory URL ends in "/".
  static URL fileURL(std::string_view path, bool isDirectory = false);

  const std::string& absoluteString() const noexcept { return text_; }

  // Where each component sits in absoluteString(): user and password never
  // include ":" or "@", the host of an IP literal includes its brackets. The
  // path is always present (possibly empty); an empty port ("h:") is absent.
  std::optional<URLRange> range(URLComponent component) const noexcept;
  // The component's text exactly as written (still percent-encoded).
  std::optional<std::string_view> componentText(URLComponent component) const noexcept;

  std::optional<std::string> scheme() const;
  // Percent-decoded; text whose escapes do not decode to UTF-8 is returned as written.
  std::optional<std::string> user() const;
  std::optional<std::string> password() const;
  std::optional<std::string> host() const;
  std::optional<int> port() const;
  std::string path() const;
  std::string_view percentEncodedPath() const noexcept;
  std::optional<std::string_view> percentEncodedQuery() const noexcept;
  std::optional<std::string_view> percentEncodedFragment() const noexcept;

  bool isFileURL() const noexcept;
  // The last segment of the decoded path ("/a/b/" gives "b", "/" gives "/").
  std::string lastPathComponent() const;
  // What follows the last "." of the last path component, or "".
  std::string pathExtension() const;

  // Appends one path component, percent-encoding what a path does not allow
  // (its own "/" stay separators). Exactly one "/" joins the two.
  URL appendingPathComponent(std::string_view component) const;

  friend bool operator==(const URL& a, const URL& b) noexcept { return a.text_ == b.text_; }

 private:
  URL() = default;

  std::string text_;
  std::optional<URLRange> ranges_[8];
};

// The same two rules for a plain "/"-separated path text.
std::string lastPathComponent(std::string_view path);
std::string pathExtension(std::string_view path);

class Encoder;
class Decoder;
template <class T>
struct Coding;

// Coded as its absolute string; text that does not parse fails as data corrupted.
template <>
struct Coding<URL> {
  static void encode(const URL& value, Encoder& encoder);
  static URL decode(const Decoder& decoder);
};

}  // namespace velmoria::base

template <>
struct std::hash<velmoria::base::URL> {
  std::size_t operator()(const velmoria::base::URL& url) const noexcept {
    return std::hash<std::string>{}(url.absoluteString());
  }
};
