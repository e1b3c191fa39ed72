#include "base/URL.hpp"

#include <filesystem>

#include "URLSyntax.hpp"
#include "base/PercentEncoding.hpp"
#include "base/Unicode.hpp"

namespace velmoria::base {
namespace {

std::size_t indexOf(URLComponent component) { return static_cast<std::size_t>(component); }

std::string decodedOrAsWritten(std::string_view text) {
  auto decoded = removingPercentEncoding(text);
  return decoded ? std::move(*decoded) : std::string(text);
}

}  // namespace

std::optional<URL> URL::parse(std::string_view text) {
  const auto parts = detail::parseURLReference(text);
  if (!parts) return std::nullopt;
  URL url;
  url.text_ = std::string(text);
  url.ranges_[indexOf(URLComponent::scheme)] = parts->scheme;
  url.ranges_[indexOf(URLComponent::user)] = parts->user;
  url.ranges_[indexOf(URLComponent::password)] = parts->password;
  url.ranges_[indexOf(URLComponent::host)] = parts->host;
  url.ranges_[indexOf(URLComponent::port)] = parts->port;
  url.ranges_[indexOf(URLComponent::path)] = parts->path;
  url.ranges_[indexOf(URLComponent::query)] = parts->query;
  url.ranges_[indexOf(URLComponent::fragment)] = parts->fragment;
  return url;
}

URL URL::fileURL(std::string_view path, bool isDirectory) {
  std::string absolute(path);
  if (absolute.empty() || absolute.front() != '/') {
    std::error_code error;
    const auto cwd = std::filesystem::current_path(error);
    absolute = (error ? std::string("/") : cwd.string() + "/") + absolute;
  }
  if (isDirectory && absolute.back() != '/') absolute.push_back('/');
  // Invalid UTF-8 in a file name still has to yield a URL: encode it byte by byte.
  std::string encoded;
  const auto allowed = CharacterSet::urlPathAllowed();
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char ch : absolute) {
    const auto c = static_cast<unsigned char>(ch);
    if (allowed.contains(c)) {
      encoded.push_back(ch);
    } else {
      encoded += {'%', kHex[c >> 4], kHex[c & 0x0F]};
    }
  }
  // A path starting "//" would read as an authority; the empty authority keeps it a path.
  return *parse("file://" + encoded);
}

std::optional<URLRange> URL::range(URLComponent component) const noexcept { return ranges_[indexOf(component)]; }

std::optional<std::string_view> URL::componentText(URLComponent component) const noexcept {
  const auto r = range(component);
  if (!r) return std::nullopt;
  return std::string_view(text_).substr(r->location, r->length);
}

std::optional<std::string> URL::scheme() const {
  const auto text = componentText(URLComponent::scheme);
  if (!text) return std::nullopt;
  return std::string(*text);
}

std::optional<std::string> URL::user() const {
  const auto text = componentText(URLComponent::user);
  if (!text) return std::nullopt;
  return decodedOrAsWritten(*text);
}

std::optional<std::string> URL::password() const {
  const auto text = componentText(URLComponent::password);
  if (!text) return std::nullopt;
  return decodedOrAsWritten(*text);
}

std::optional<std::string> URL::host() const {
  const auto text = componentText(URLComponent::host);
  if (!text) return std::nullopt;
  return decodedOrAsWritten(*text);
}

std::optional<int> URL::port() const {
  const auto text = componentText(URLComponent::port);
  if (!text) return std::nullopt;
  int value = 0;
  for (const char c : *text) value = value * 10 + (c - '0');  // the parser capped it at 65535
  return value;
}

std::string URL::path() const { return decodedOrAsWritten(percentEncodedPath()); }

std::string_view URL::percentEncodedPath() const noexcept { return *componentText(URLComponent::path); }

std::optional<std::string_view> URL::percentEncodedQuery() const noexcept { return componentText(URLComponent::query); }

std::optional<std::string_view> URL::percentEncodedFragment() const noexcept {
  return componentText(URLComponent::fragment);
}

bool URL::isFileURL() const noexcept {
  const auto text = componentText(URLComponent::scheme);
  if (!text || text->size() != 4) return false;
  for (std::size_t i = 0; i < 4; ++i) {
    const char c = static_cast<char>((*text)[i] | 0x20);
    if (c != "file"[i]) return false;
  }
  return true;
}

std::string URL::lastPathComponent() const { return base::lastPathComponent(path()); }

std::string URL::pathExtension() const { return base::pathExtension(path()); }

std::string lastPathComponent(std::string_view path) {
  if (path.empty()) return {};
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  if (path == "/") return std::string(path);
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string pathExtension(std::string_view path) {
  const std::string last = lastPathComponent(path);
  const std::size_t dot = last.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == last.size()) return {};
  return last.substr(dot + 1);
}

URL URL::appendingPathComponent(std::string_view component) const {
  if (component.empty()) return *this;
  auto encoded = addingPercentEncoding(component, CharacterSet::urlPathAllowed());
  if (!encoded) encoded = addingPercentEncoding(repairUTF8(component), CharacterSet::urlPathAllowed());
  const URLRange pathRange = *range(URLComponent::path);
  const std::string_view current = percentEncodedPath();
  std::string joined(current);
  const bool endsWithSlash = !joined.empty() && joined.back() == '/';
  const bool startsWithSlash = encoded->front() == '/';
  if (endsWithSlash && startsWithSlash) {
    joined += encoded->substr(1);
  } else if (!endsWithSlash && !startsWithSlash) {
    joined += '/' + *encoded;
  } else {
    joined += *encoded;
  }
  // Without an authority a path may not begin with "//".
  if (!range(URLComponent::host)) {
    while (joined.size() > 1 && joined[0] == '/' && joined[1] == '/') joined.erase(0, 1);
  }
  std::string text = text_.substr(0, pathRange.location) + joined + text_.substr(pathRange.location + pathRange.length);
  auto result = parse(text);
  return result ? std::move(*result) : *this;
}

}  // namespace velmoria::base
