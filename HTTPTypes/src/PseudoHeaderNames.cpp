#include "PseudoHeaderNames.hpp"

namespace zirudeze::http::detail {

#define PSEUDO_NAME(function, text)                                 \
  const HTTPFieldName& function() {                                 \
    static const HTTPFieldName name = *HTTPFieldName::parsed(text); \
    return name;                                                    \
  }

PSEUDO_NAME(methodPseudoName, ":method")
PSEUDO_NAME(schemePseudoName, ":scheme")
PSEUDO_NAME(authorityPseudoName, ":authority")
PSEUDO_NAME(pathPseudoName, ":path")
PSEUDO_NAME(protocolPseudoName, ":protocol")
PSEUDO_NAME(statusPseudoName, ":status")

#undef PSEUDO_NAME

}  // namespace zirudeze::http::detail
