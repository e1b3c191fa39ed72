#pragma once

#include "httptypes/HTTPFieldName.hpp"

namespace zirudeze::http::detail {

// The pseudo-header names; both forms are the lower-case text.
const HTTPFieldName& methodPseudoName();
const HTTPFieldName& schemePseudoName();
const HTTPFieldName& authorityPseudoName();
const HTTPFieldName& pathPseudoName();
const HTTPFieldName& protocolPseudoName();
const HTTPFieldName& statusPseudoName();

}  // namespace zirudeze::http::detail
