#include "platform/SecretServiceKeychainStore.hpp"

// The D-Bus path calls cost one round trip each and build no proxy objects (whose signal subscriptions
// cost more round trips): reads are on the hot path of every session query, and a read of an item read
// before is one round trip.
#define SECRET_API_SUBJECT_TO_CHANGE
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include <libsecret/secret.h>

#include "base/ThreadSafety.hpp"

namespace velmoria::platform {
namespace {

using Reason = KeychainStoreError::Reason;

constexpr const char* kSecretsBusName = "org.freedesktop.secrets";
constexpr int kBusCallTimeoutMs = 5000;

struct ErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using ObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct HashTableUnref {
  void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using HashTablePtr = std::unique_ptr<GHashTable, HashTableUnref>;

struct ValueUnref {
  void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using ValuePtr = std::unique_ptr<SecretValue, ValueUnref>;

struct VariantUnref {
  void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

struct StrvFree {
  void operator()(gchar** strings) const { g_strfreev(strings); }
};
using StrvPtr = std::unique_ptr<gchar*, StrvFree>;

// One of our items, by its object path.
struct ItemPath {
  std::string path;
  bool locked = false;
};

const SecretSchema* schema() {
  static const SecretSchema made = [] {
    SecretSchema s{};
    s.name = SecretServiceKeychainStore::kSchemaName;
    s.flags = SECRET_SCHEMA_NONE;
    s.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
    s.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
    s.attributes[2] = {"accessGroup", SECRET_SCHEMA_ATTRIBUTE_STRING};
    return s;
  }();
  return &made;
}

// The attributes of `key`; the table points into `key`, which must outlive it.
HashTablePtr attributesOf(const KeychainItemKey& key) {
  HashTablePtr table(g_hash_table_new(g_str_hash, g_str_equal));
  const auto put = [&](const char* name, const std::string& value) {
    g_hash_table_insert(table.get(), const_cast<char*>(name), const_cast<char*>(value.c_str()));
  };
  if (key.service) put("service", *key.service);
  put("account", key.account);
  if (key.accessGroup) put("accessGroup", *key.accessGroup);
  return table;
}

// A search matches every item whose attributes include the ones asked for; ours must have no others.
bool attributesMatchExactly(GVariant* attributes, const KeychainItemKey& key) {
  const auto matches = [&](const char* name, const std::optional<std::string>& expected) {
    const gchar* value = nullptr;
    const bool found = g_variant_lookup(attributes, name, "&s", &value);
    if (!expected) return !found;
    return found && *expected == value;
  };
  return matches("service", key.service) && matches("account", key.account) && matches("accessGroup", key.accessGroup);
}

KeychainStoreError failureFrom(const GError* error) {
  if (error->domain == SECRET_ERROR) {
    if (error->code == SECRET_ERROR_IS_LOCKED) return {Reason::interactionNotAllowed, "The keyring is locked."};
    if (error->code == SECRET_ERROR_NO_SUCH_OBJECT) return KeychainStoreError::itemNotFound();
  }
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
    return {Reason::userCanceled, "The keyring prompt was dismissed."};
  return {Reason::unknown, error->message != nullptr ? error->message : "Secret Service failure"};
}

std::string labelOf(const KeychainItemKey& key) {
  return key.service ? key.account + " (" + *key.service + ")" : key.account;
}

// Where GLib would find the session bus, without its X11 autolaunch (which would start a bus of its own).
bool sessionBusIsKnown() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address != nullptr && address[0] != '\0')
    return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || runtime[0] != '/') return false;
  struct stat info {};
  return ::stat((std::string(runtime) + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// The bus daemon's reply, or null when the call failed.
VariantPtr callBus(GDBusConnection* bus, const char* method, GVariant* arguments, const GVariantType* replyType) {
  GError* raw = nullptr;
  VariantPtr reply(g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                               "org.freedesktop.DBus", method, arguments, replyType,
                                               G_DBUS_CALL_FLAGS_NONE, kBusCallTimeoutMs, nullptr, &raw));
  const ErrorPtr error(raw);
  return reply;
}

}  // namespace

struct SecretServiceKeychainStore::Impl {
  explicit Impl(SecretService* service) : service(service) {}

  ObjectPtr<SecretService> service;
  base::Mutex mutex;
  bool promptDismissed VM_GUARDED_BY(mutex) = false;
  // The object path each key's item was last read from. A read asks that path for its secret first,
  // one round trip, and searches again (three or more) only when that finds nothing: the item gone,
  // locked or replaced since.
  std::map<KeychainItemKey, std::string> readPaths VM_GUARDED_BY(mutex);

  // The secret at `path`; nothing when the service has none to give there (gone, or locked).
  std::optional<base::Data> secretAt(const std::string& path) {
    GError* raw = nullptr;
    const ValuePtr value(secret_service_get_secret_for_dbus_path_sync(service.get(), path.c_str(), nullptr, &raw));
    const ErrorPtr error(raw);
    if (error) throw failureFrom(error.get());
    if (!value) return std::nullopt;
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    return base::Data(reinterpret_cast<const std::uint8_t*>(bytes),
                      reinterpret_cast<const std::uint8_t*>(bytes) + length);
  }

  // Every item of ours with exactly these attributes (normally one), locked ones included.
  std::vector<ItemPath> exactItems(const KeychainItemKey& key) {
    const HashTablePtr attributes = attributesOf(key);
    gchar** unlockedPaths = nullptr;
    gchar** lockedPaths = nullptr;
    GError* raw = nullptr;
    secret_service_search_for_dbus_paths_sync(service.get(), schema(), attributes.get(), nullptr, &unlockedPaths,
                                              &lockedPaths, &raw);
    const StrvPtr unlocked(unlockedPaths);
    const StrvPtr locked(lockedPaths);
    const ErrorPtr error(raw);
    if (error) throw failureFrom(error.get());
    std::vector<ItemPath> exact;
    for (const auto& [paths, isLocked] : {std::pair{unlocked.get(), false}, std::pair{locked.get(), true}}) {
      for (gchar** path = paths; path != nullptr && *path != nullptr; ++path)
        if (hasExactly(*path, key)) exact.push_back({*path, isLocked});
    }
    return exact;
  }

  bool hasExactly(const char* path, const KeychainItemKey& key) {
    GDBusProxy* proxy = G_DBUS_PROXY(service.get());
    GError* raw = nullptr;
    const VariantPtr reply(g_dbus_connection_call_sync(
        g_dbus_proxy_get_connection(proxy), g_dbus_proxy_get_name(proxy), path, "org.freedesktop.DBus.Properties",
        "Get", g_variant_new("(ss)", "org.freedesktop.Secret.Item", "Attributes"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &raw));
    const ErrorPtr error(raw);
    if (error) throw failureFrom(error.get());
    GVariant* boxed = nullptr;
    g_variant_get(reply.get(), "(v)", &boxed);
    const VariantPtr attributes(boxed);
    return g_variant_is_of_type(attributes.get(), G_VARIANT_TYPE("a{ss}")) &&
           attributesMatchExactly(attributes.get(), key);
  }

  // Asks the service to unlock the object at `path` (an item or a collection), which may show its prompt.
  void unlock(const std::string& path) VM_REQUIRES(mutex) {
    if (promptDismissed)
      throw KeychainStoreError(Reason::interactionNotAllowed, "The keyring is locked and its prompt was dismissed.");
    const gchar* paths[] = {path.c_str(), nullptr};
    GError* raw = nullptr;
    const gint unlocked = secret_service_unlock_dbus_paths_sync(service.get(), paths, nullptr, nullptr, &raw);
    const ErrorPtr error(raw);
    if (error) throw failureFrom(error.get());
    if (unlocked == 0) {
      promptDismissed = true;
      throw KeychainStoreError(Reason::userCanceled, "The keyring prompt was dismissed.");
    }
  }
};

bool SecretServiceKeychainStore::isAvailable() {
  if (!sessionBusIsKnown()) return false;
  GError* raw = nullptr;
  const ObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &raw));
  const ErrorPtr error(raw);
  if (!bus) return false;
  // A vanished bus then fails our calls instead of ending the process.
  g_dbus_connection_set_exit_on_close(bus.get(), FALSE);

  if (const VariantPtr reply =
          callBus(bus.get(), "NameHasOwner", g_variant_new("(s)", kSecretsBusName), G_VARIANT_TYPE("(b)"))) {
    gboolean hasOwner = FALSE;
    g_variant_get(reply.get(), "(b)", &hasOwner);
    if (hasOwner) return true;
  }
  if (const VariantPtr reply = callBus(bus.get(), "ListActivatableNames", nullptr, G_VARIANT_TYPE("(as)"))) {
    GVariantIter* iterator = nullptr;
    g_variant_get(reply.get(), "(as)", &iterator);
    bool activatable = false;
    const gchar* name = nullptr;
    while (g_variant_iter_loop(iterator, "&s", &name))
      if (std::strcmp(name, kSecretsBusName) == 0) activatable = true;
    g_variant_iter_free(iterator);
    return activatable;
  }
  return false;
}

std::shared_ptr<SecretServiceKeychainStore> SecretServiceKeychainStore::connect() {
  if (!isAvailable()) return nullptr;
  GError* raw = nullptr;
  SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &raw);
  const ErrorPtr error(raw);
  if (service == nullptr) return nullptr;
  return std::shared_ptr<SecretServiceKeychainStore>(new SecretServiceKeychainStore(std::make_unique<Impl>(service)));
}

SecretServiceKeychainStore::SecretServiceKeychainStore(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SecretServiceKeychainStore::~SecretServiceKeychainStore() = default;

base::Data SecretServiceKeychainStore::read(const KeychainItemKey& key) {
  const base::MutexLock lock(impl_->mutex);
  if (const auto known = impl_->readPaths.find(key); known != impl_->readPaths.end()) {
    const std::string path = known->second;
    impl_->readPaths.erase(known);
    try {
      if (auto secret = impl_->secretAt(path)) {
        impl_->readPaths.emplace(key, path);
        return std::move(*secret);
      }
    } catch (const KeychainStoreError&) {
      // Whatever went wrong there, the search below finds out again and reports it.
    }
  }

  const auto items = impl_->exactItems(key);
  if (items.empty()) throw KeychainStoreError::itemNotFound();
  const ItemPath& item = items.front();
  if (item.locked) impl_->unlock(item.path);
  auto secret = impl_->secretAt(item.path);
  // Gone between the search and the read.
  if (!secret) throw KeychainStoreError::itemNotFound();
  impl_->readPaths.emplace(key, item.path);
  return std::move(*secret);
}

void SecretServiceKeychainStore::write(const KeychainItemKey& key, const base::Data& value) {
  const base::MutexLock lock(impl_->mutex);
  impl_->readPaths.erase(key);
  const ValuePtr secret(secret_value_new(reinterpret_cast<const gchar*>(value.data()),
                                         static_cast<gssize>(value.size()), "application/octet-stream"));
  GError* raw = nullptr;
  if (const auto items = impl_->exactItems(key); !items.empty()) {
    const ItemPath& existing = items.front();
    if (existing.locked) impl_->unlock(existing.path);
    const ObjectPtr<SecretItem> item(secret_item_new_for_dbus_path_sync(impl_->service.get(), existing.path.c_str(),
                                                                        SECRET_ITEM_NONE, nullptr, &raw));
    if (raw == nullptr && item) secret_item_set_secret_sync(item.get(), secret.get(), nullptr, &raw);
    const ErrorPtr error(raw);
    if (error) throw failureFrom(error.get());
    return;
  }

  const HashTablePtr attributes = attributesOf(key);
  const std::string label = labelOf(key);
  const ObjectPtr<SecretCollection> collection(secret_collection_for_alias_sync(
      impl_->service.get(), SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &raw));
  if (raw != nullptr) {
    const ErrorPtr error(raw);
    throw failureFrom(error.get());
  }
  if (!collection) {
    // No default keyring yet: the service makes one (asking the user for its password).
    const gboolean stored =
        secret_service_store_sync(impl_->service.get(), schema(), attributes.get(), SECRET_COLLECTION_DEFAULT,
                                  label.c_str(), secret.get(), nullptr, &raw);
    const ErrorPtr error(raw);
    if (error) throw failureFrom(error.get());
    if (!stored) throw KeychainStoreError(Reason::userCanceled, "The keyring prompt was dismissed.");
    return;
  }
  if (secret_collection_get_locked(collection.get()))
    impl_->unlock(g_dbus_proxy_get_object_path(G_DBUS_PROXY(collection.get())));
  const ObjectPtr<SecretItem> created(secret_item_create_sync(collection.get(), schema(), attributes.get(),
                                                              label.c_str(), secret.get(), SECRET_ITEM_CREATE_NONE,
                                                              nullptr, &raw));
  const ErrorPtr error(raw);
  if (error) throw failureFrom(error.get());
  if (!created) throw KeychainStoreError(Reason::unknown, "The keyring did not create the item.");
}

void SecretServiceKeychainStore::remove(const KeychainItemKey& key) {
  const base::MutexLock lock(impl_->mutex);
  impl_->readPaths.erase(key);
  const auto items = impl_->exactItems(key);
  if (items.empty()) throw KeychainStoreError::itemNotFound();
  for (const ItemPath& item : items) {
    if (item.locked) impl_->unlock(item.path);
    GError* raw = nullptr;
    secret_service_delete_item_dbus_path_sync(impl_->service.get(), item.path.c_str(), nullptr, &raw);
    const ErrorPtr error(raw);
    if (error) throw failureFrom(error.get());
  }
}

}  // namespace velmoria::platform
