#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>

namespace velmoria::filter {

// The form hosts and list entries are compared in: trimmed, lower-cased, without trailing dots and
// without one leading "www.", and names with non-ASCII letters in their IDNA ASCII form ("bücher.de"
// matches the server name "xn--bcher-kva.de").
std::string normalizeHost(std::string_view host);

// True when the host is one of the domains or lies below one ("a.com" blocks "x.a.com", never
// "bba.com"). Normalises every entry on every call; Blocklist below gives the same answers faster.
bool matchesBlocklist(std::string_view host, const std::set<std::string>& domains);

// A domain set normalised once, answering matchesBlocklist's question by looking up the host and
// each of its parent names.
class Blocklist {
 public:
  Blocklist() = default;
  explicit Blocklist(const std::set<std::string>& domains);

  bool matches(std::string_view host) const;

  // The domains as given, before normalisation.
  const std::set<std::string>& entries() const { return entries_; }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
  };

  std::set<std::string> entries_;
  std::unordered_set<std::string, Hash, std::equal_to<>> normalized_;
};

}  // namespace velmoria::filter
