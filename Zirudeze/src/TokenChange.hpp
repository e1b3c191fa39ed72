#pragma once

#include <optional>
#include <string>

#include "auth/AuthEnumerations.hpp"
#include "auth/Session.hpp"

namespace zirudeze::detail {

// What one auth event gives the token receivers, given the token pushed last (`changedAccessToken`, which
// it updates): a push event's token when it differs from that one (the key when the event has no
// session), the key after a sign-out, else nothing.
std::optional<std::string> handleTokenChanged(std::optional<std::string>& changedAccessToken,
                                              auth::AuthChangeEvent event, const std::optional<auth::Session>& session,
                                              const std::string& key);

}  // namespace zirudeze::detail
