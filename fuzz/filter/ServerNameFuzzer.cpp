// The server-name reader on arbitrary first bytes, and the two matchers agreeing on what it reads.
#include <cstdlib>
#include <span>

#include "velmoria_filter/DomainMatcher.hpp"
#include "velmoria_filter/ServerNameReader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto name = velmoria::filter::extractServerName(std::span<const std::uint8_t>(data, size));
  if (!name) return 0;
  static const std::set<std::string> domains{"example.com", " WWW.Blocked.Example. ", ".lead", "a",
                                             "\xC3\x9C"
                                             "ber.de"};
  static const velmoria::filter::Blocklist blocklist(domains);
  if (blocklist.matches(*name) != velmoria::filter::matchesBlocklist(*name, domains)) std::abort();
  return 0;
}
