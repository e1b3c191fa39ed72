#include "auth/ErrorCode.hpp"

namespace zirudeze::auth {

ErrorCode ErrorCode::decode(const velmoria::base::Decoder& decoder) { return ErrorCode(decoder.requireString()); }

}  // namespace zirudeze::auth
