#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "auth/AuthClientID.hpp"
#include "auth/Session.hpp"
#include "base/Date.hpp"
#include "base/coding/Decoder.hpp"

namespace zirudeze::auth {

struct AuthClientConfiguration;

// Where the session is kept when the configuration names no storage key.
inline constexpr std::string_view kDefaultStorageKey = "zirudeze.auth.token";
// Where the oldest versions kept it.
inline constexpr std::string_view kOldSessionStorageKey = "zirudeze.session";

// The configuration's storage key, else kDefaultStorageKey.
std::string sessionStorageKey(const AuthClientConfiguration& configuration);

// The oldest stored form: the session wrapped with its expiry, written with the auth coders (snake-case
// keys, dates as text). Only read, by a migration.
struct StoredSession {
  Session session;
  velmoria::base::Date expirationDate;

  static StoredSession decode(const velmoria::base::Decoder& decoder);
};

// One conversion of a stored document from an older form; it fails with the storage's or coder's error.
struct StorageMigration {
  std::string name;
  std::function<void()> run;

  // Moves the session under "zirudeze.session" to the storage key, unless a session is there already,
  // in which case the old one is removed; a document under the old key that holds no session in any
  // known form stays where it is.
  static StorageMigration sessionNewKey(AuthClientID clientID);
  // Replaces a StoredSession wrapper by the session it wraps, in the auth coders' form.
  static StorageMigration storeSessionDirectly(AuthClientID clientID);
  // Rewrites a session in the auth coders' form in the current form.
  static StorageMigration useDefaultEncoder(AuthClientID clientID);
};

// The one current session of an auth client, kept in the configuration's local storage as a document
// with the field names as keys and dates as seconds since 2001. Nothing here fails: every failure is
// logged at level error and the operation yields nothing. Safe from any thread; a get (migrations, then
// the read) is not atomic with a concurrent store or remove.
struct SessionStorage {
  // Runs the migrations first, on every call.
  std::function<std::optional<Session>()> get;
  // Storing and removing also remove a session still kept under "zirudeze.session" (unless that is the
  // storage key), so that no older session is moved in once this one ends.
  std::function<void(const Session&)> store;
  // Removes the stored session.
  std::function<void()> remove;

  // The storage of an auth client, with sessionNewKey, storeSessionDirectly and useDefaultEncoder in
  // this order. Local storage, key and logger come from the client's registry entry on every call.
  static SessionStorage live(AuthClientID clientID);
  static SessionStorage live(AuthClientID clientID, std::vector<StorageMigration> migrations);
};

}  // namespace zirudeze::auth
