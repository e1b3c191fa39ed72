#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/PercentEncoding.hpp"
#include "base/URL.hpp"
#include "base/URLComponents.hpp"
#include "base/Unicode.hpp"

namespace {

void require(bool condition) {
  if (!condition) __builtin_trap();
}

void checkRanges(const velmoria::base::URL& url) {
  using C = velmoria::base::URLComponent;
  std::size_t previousEnd = 0;
  for (const C c : {C::scheme, C::user, C::password, C::host, C::port, C::path, C::query, C::fragment}) {
    const auto r = url.range(c);
    if (!r) continue;
    require(r->location >= previousEnd);
    require(r->location + r->length <= url.absoluteString().size());
    previousEnd = r->location + r->length;
  }
  require(url.range(C::path).has_value());
}

void checkComponents(const velmoria::base::URL& url) {
  const velmoria::base::URLComponents components(url);
  const auto text = components.string();
  require(text.has_value());
  const auto again = velmoria::base::URLComponents::parse(*text);
  require(again.has_value());
  require(*again == components);

  // Encoded items put back unchanged give the same text.
  velmoria::base::URLComponents copy = components;
  copy.setPercentEncodedQueryItems(components.percentEncodedQueryItems());
  require(copy.string() == text);

  // Decoded items written back through the encoding setter read back the same.
  copy.setQueryItems(components.queryItems());
  require(copy.string().has_value());
  require(copy.queryItems() == components.queryItems());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(bytes), size);

  if (const auto url = velmoria::base::URL::parse(input)) {
    require(url->absoluteString() == input);
    checkRanges(*url);
    checkComponents(*url);
    (void)url->host();
    (void)url->port();
    (void)url->lastPathComponent();
    (void)url->pathExtension();
    const velmoria::base::URL longer = url->appendingPathComponent(input);
    checkRanges(longer);
  }

  const auto anchor = *velmoria::base::URL::parse("https://h.example/base?q=1");
  const velmoria::base::URL appended = anchor.appendingPathComponent(input);
  require(appended.percentEncodedQuery() == "q=1");
  require(appended.host() == "h.example");

  if (velmoria::base::isValidUTF8(input)) {
    const auto encoded = velmoria::base::addingPercentEncoding(input, velmoria::base::CharacterSet::urlQueryAllowed());
    require(encoded.has_value());
    require(velmoria::base::removingPercentEncoding(*encoded) == input);
  }
  (void)velmoria::base::removingPercentEncoding(input);
  return 0;
}
