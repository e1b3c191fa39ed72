#include "velmoria_filter/DomainMatcher.hpp"

#include "base/Unicode.hpp"
#include "velmoria_filter/Text.hpp"

namespace velmoria::filter {
namespace {

constexpr std::string_view wwwPrefix = "www.";

// Steps after lower-casing; they only shorten the text, so they work on a view of it.
std::string_view stripDotsAndWww(std::string_view text) {
  while (!text.empty() && text.back() == '.') text.remove_suffix(1);
  if (text.starts_with(wwwPrefix)) text.remove_prefix(wwwPrefix.size());
  return text;
}

bool endsWithLabel(std::string_view host, std::string_view domain) {
  return host.size() > domain.size() && host.ends_with(domain) && host[host.size() - domain.size() - 1] == '.';
}

// Server names travel in their ASCII (punycode) form, so a name with other letters is compared in it.
std::string asciiForm(std::string_view host) {
  if (base::isASCII(host)) return std::string(host);
  return base::idnaASCII(host).value_or(std::string(host));
}

}  // namespace

std::string normalizeHost(std::string_view host) {
  const auto lowered = text::lowercased(text::trimmed(host));
  return asciiForm(stripDotsAndWww(lowered));
}

bool matchesBlocklist(std::string_view host, const std::set<std::string>& domains) {
  const auto h = normalizeHost(host);
  if (h.empty()) return false;
  for (const auto& entry : domains) {
    const auto d = normalizeHost(entry);
    if (d.empty()) continue;
    if (h == d || endsWithLabel(h, d)) return true;
  }
  return false;
}

Blocklist::Blocklist(const std::set<std::string>& domains) : entries_(domains) {
  for (const auto& entry : domains) {
    auto d = normalizeHost(entry);
    if (!d.empty()) normalized_.insert(std::move(d));
  }
}

bool Blocklist::matches(std::string_view host) const {
  if (normalized_.empty()) return false;
  // Names read from a hello are already lower-case ASCII with no padding; only other input pays for
  // the full normalisation.
  const auto trimmedHost = text::trimmed(host);
  std::string lowered;
  std::string_view h = trimmedHost;
  if (!text::isLowercase(trimmedHost)) {
    lowered = text::lowercased(trimmedHost);
    h = lowered;
  }
  h = stripDotsAndWww(h);
  std::string ascii;
  if (!base::isASCII(h)) {
    ascii = asciiForm(h);
    h = ascii;
  }
  if (h.empty()) return false;
  // An entry d matches when h is d or ends with "." + d: that is, when h or the text after one of
  // its dots is in the set.
  if (normalized_.find(h) != normalized_.end()) return true;
  for (std::size_t i = 0; i < h.size(); ++i) {
    if (h[i] == '.' && normalized_.find(h.substr(i + 1)) != normalized_.end()) return true;
  }
  return false;
}

}  // namespace velmoria::filter
