#include <climits>
#include <string>

#include <unicode/uidna.h>

#include "base/Unicode.hpp"

namespace velmoria::base {
namespace {

// Browsers' options: nontransitional ("ß" stays itself), bidi and joiner rules, no STD3 restriction.
const UIDNA* uts46() {
  static const UIDNA* const idna = [] {
    UErrorCode status = U_ZERO_ERROR;
    const UIDNA* created =
        uidna_openUTS46(UIDNA_NONTRANSITIONAL_TO_ASCII | UIDNA_CHECK_BIDI | UIDNA_CHECK_CONTEXTJ, &status);
    return U_SUCCESS(status) ? created : nullptr;
  }();
  return idna;
}

}  // namespace

std::optional<std::string> idnaASCII(std::string_view domain) {
  const UIDNA* idna = uts46();
  if (idna == nullptr || domain.empty() || domain.size() > INT32_MAX / 4) return std::nullopt;
  std::string out(domain.size() * 4 + 16, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode status = U_ZERO_ERROR;
    UIDNAInfo info = UIDNA_INFO_INITIALIZER;
    const int32_t length = uidna_nameToASCII_UTF8(idna, domain.data(), static_cast<int32_t>(domain.size()), out.data(),
                                                  static_cast<int32_t>(out.size()), &info, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR && attempt == 0) {
      out.assign(static_cast<std::size_t>(length) + 1, '\0');
      continue;
    }
    if (U_FAILURE(status) || info.errors != 0) return std::nullopt;
    out.resize(static_cast<std::size_t>(length));
    return out;
  }
  return std::nullopt;
}

}  // namespace velmoria::base
