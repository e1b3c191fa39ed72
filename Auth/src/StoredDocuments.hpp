#pragma once

#include <optional>
#include <string>

#include "auth/AuthLocalStorage.hpp"
#include "auth/Session.hpp"
#include "base/Data.hpp"

namespace zirudeze::auth::detail {

// The forms a stored session document takes: the current one (field names, dates as numbers), the
// oldest wrapper and the snake-case session (both written with the auth coders).
enum class DocumentForm { current, wrapped, snakeCase };

// The session `document` holds in `form` (for the wrapper, the session it wraps); nothing when it is not
// in that form. Every session query reads the same document again, so the last few documents of each
// form are remembered with what they held, and an unchanged one is not decoded again.
std::optional<Session> sessionIn(DocumentForm form, const velmoria::base::Data& document);

// The session of a current-form document, or the decoder's error (which is not remembered, so each
// failing read can report it).
Session decodeCurrent(const velmoria::base::Data& document);

// Removes a session document under the oldest key once the client keeps its session under `key`, so
// that it can never be moved in again after that session ends. A document there that holds no session
// stays, and so does everything when `key` is the oldest key itself. Failures are left to the next try.
void retireOldSession(AuthLocalStorage& storage, const std::string& key);

}  // namespace zirudeze::auth::detail
