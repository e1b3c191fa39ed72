// The keychain against a real Secret Service. Run through scripts/with-secret-service, which gives every
// test a private session bus with an unlocked gnome-keyring; without one the tests skip.
#include <stdio.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <libsecret/secret.h>

#include "KeychainStoreContract.hpp"
#include "platform/SecretServiceKeychainStore.hpp"
#include "platform/SystemLog.hpp"
#include "testsupport/ScratchFolder.hpp"

namespace fs = std::filesystem;

namespace velmoria::platform::testing {
namespace {

using Reason = KeychainStoreError::Reason;

constexpr const char* kSkipLine = "No Secret Service on this machine (needs dbus-run-session and gnome-keyring)";

// What secret-tool, the desktop's own client, prints for a search, and how many items it lists.
struct SecretToolListing {
  std::vector<std::string> lines;
  std::size_t items() const {
    std::size_t count = 0;
    for (const auto& line : lines)
      if (line.rfind("[/", 0) == 0) ++count;
    return count;
  }
  bool has(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
  bool mentions(const std::string& text) const {
    for (const auto& line : lines)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
};

SecretToolListing secretToolSearch(const std::string& attributes) {
  SecretToolListing listing;
  // It prints the attributes on standard error.
  FILE* pipe = ::popen(("secret-tool search --all " + attributes + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return listing;
  char buffer[4096];
  while (::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    listing.lines.push_back(line);
  }
  ::pclose(pipe);
  return listing;
}

std::string schemaAttribute() { return std::string("xdg:schema ") + SecretServiceKeychainStore::kSchemaName; }

// Locks the default collection the way a user would from the keyring manager.
void lockDefaultCollection() {
  GError* error = nullptr;
  SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
  ASSERT_NE(service, nullptr);
  SecretCollection* collection =
      secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
  ASSERT_NE(collection, nullptr);
  GList* objects = g_list_append(nullptr, collection);
  const gint locked = secret_service_lock_sync(service, objects, nullptr, nullptr, &error);
  g_list_free(objects);
  g_object_unref(collection);
  g_object_unref(service);
  ASSERT_EQ(error, nullptr);
  ASSERT_EQ(locked, 1);
}

// Unlocks the default collection again with the password scripts/with-secret-service gave the keyring, so
// the tests that run after a locking one in the same session find it unlocked. Through gnome-keyring's own
// interface: the standard one can only unlock through a prompt, which nobody answers here.
std::string unlockDefaultCollection() {
  const char* password = std::getenv("VELMORIA_TEST_KEYRING_PASSWORD");
  if (password == nullptr) return "no keyring password in the environment";
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (bus == nullptr) return "no session bus";
  const auto call = [&](const char* path, const char* interface, const char* method, GVariant* arguments,
                        const char* replyType) {
    return g_dbus_connection_call_sync(bus, "org.freedesktop.secrets", path, interface, method, arguments,
                                       G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
  };
  std::string failure;
  GVariant* alias = call("/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "ReadAlias",
                         g_variant_new("(s)", "default"), "(o)");
  GVariant* session = alias == nullptr
                          ? nullptr
                          : call("/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "OpenSession",
                                 g_variant_new("(sv)", "plain", g_variant_new_string("")), "(vo)");
  if (session != nullptr) {
    const gchar* collection = nullptr;
    const gchar* sessionPath = nullptr;
    g_variant_get(alias, "(&o)", &collection);
    g_variant_get(session, "(v&o)", nullptr, &sessionPath);
    GVariant* secret =
        g_variant_new("(o@ay@ays)", sessionPath, g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, "", 0, 1),
                      g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, password, std::strlen(password), 1), "text/plain");
    GVariant* unlocked = call("/org/freedesktop/secrets", "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface",
                              "UnlockWithMasterPassword", g_variant_new("(o@(oayays))", collection, secret), "()");
    if (unlocked != nullptr) g_variant_unref(unlocked);
    g_variant_unref(session);
  }
  if (alias != nullptr) g_variant_unref(alias);
  if (error != nullptr) {
    failure = error->message;
    g_error_free(error);
  }
  g_object_unref(bus);
  return failure;
}

struct SecretServiceHarness final : KeychainHarness {
  explicit SecretServiceHarness(std::shared_ptr<SecretServiceKeychainStore> store) : secretService(std::move(store)) {
    // A session reused across tests starts each one with none of our items.
    while (secretToolSearch(schemaAttribute()).items() > 0)
      if (::system(("secret-tool clear " + schemaAttribute()).c_str()) != 0) break;
  }
  KeychainStore& store() override { return *secretService; }
  std::size_t itemCount() override { return secretToolSearch(schemaAttribute()).items(); }

  std::shared_ptr<SecretServiceKeychainStore> secretService;
};

std::unique_ptr<KeychainHarness> makeHarness() {
  auto store = SecretServiceKeychainStore::connect();
  if (!store) return nullptr;
  return std::make_unique<SecretServiceHarness>(std::move(store));
}

INSTANTIATE_TEST_SUITE_P(Stores, KeychainStoreContract,
                         ::testing::Values(KeychainStoreKind{"SecretService", makeHarness}), kindName);

class SecretServiceKeychain : public ::testing::Test {
 protected:
  void SetUp() override {
    auto made = makeHarness();
    if (!made) GTEST_SKIP() << kSkipLine;
    harness_.reset(static_cast<SecretServiceHarness*>(made.release()));
  }
  KeychainStore& store() { return harness_->store(); }

  std::unique_ptr<SecretServiceHarness> harness_;
};

TEST_F(SecretServiceKeychain, TheDesktopsOwnClientSeesOneItemPerKeyAndNoneAfterDelete) {
  store().write(kAuthItem, base::dataFromString("first"));
  store().write(kAuthItem, base::dataFromString("second"));
  const auto listing = secretToolSearch("service zirudeze.auth");
  EXPECT_EQ(listing.items(), 1u);
  EXPECT_TRUE(listing.has("attribute.account = " + kAuthItem.account));
  EXPECT_TRUE(listing.has("attribute.service = zirudeze.auth"));
  EXPECT_TRUE(listing.has("secret = second"));
  EXPECT_FALSE(listing.mentions("accessGroup"));

  store().remove(kAuthItem);
  EXPECT_EQ(secretToolSearch("service zirudeze.auth").items(), 0u);
}

TEST_F(SecretServiceKeychain, AnItemWithoutServiceOrGroupCarriesOnlyTheAccount) {
  store().write({std::nullopt, std::nullopt, "bare-account"}, base::dataFromString("v"));
  const auto listing = secretToolSearch("account bare-account");
  EXPECT_EQ(listing.items(), 1u);
  EXPECT_TRUE(listing.has("attribute.account = bare-account"));
  EXPECT_FALSE(listing.mentions("attribute.service"));
  EXPECT_FALSE(listing.mentions("attribute.accessGroup"));
}

TEST_F(SecretServiceKeychain, AnItemWithAGroupCarriesIt) {
  store().write({"zirudeze.auth", "group.team", "k"}, base::dataFromString("v"));
  EXPECT_TRUE(secretToolSearch("accessGroup group.team").has("attribute.account = k"));
}

TEST_F(SecretServiceKeychain, IsChosenWhenTheBusHasItAndLogsNothing) {
  testsupport::ScratchFolder scratch;
  CapturedLog log;
  const auto chosen = chooseKeychainStore(log, scratch.path() / "keychain");
  EXPECT_NE(dynamic_cast<SecretServiceKeychainStore*>(chosen.get()), nullptr);
  EXPECT_TRUE(log.records().empty());
}

// A locked keyring whose prompt cannot be answered fails every operation, and the chosen store never
// falls back to files, where the session would then be split over two stores.
// Reads after the first go straight to the item they found; what other clients do to it meanwhile is
// still what the next read sees.
TEST_F(SecretServiceKeychain, AnItemReadBeforeIsReadAsOtherClientsLeftIt) {
  const std::string attributes = schemaAttribute() + " service zirudeze.auth account zd-project-auth-token";
  store().write(kAuthItem, base::dataFromString("ours"));
  EXPECT_EQ(store().read(kAuthItem), base::dataFromString("ours"));
  EXPECT_EQ(store().read(kAuthItem), base::dataFromString("ours"));

  // Deleted and made again by another client: a new item elsewhere.
  ASSERT_EQ(::system(("secret-tool clear " + attributes).c_str()), 0);
  ASSERT_EQ(::system(("printf theirs | secret-tool store --label=x " + attributes).c_str()), 0);
  EXPECT_EQ(store().read(kAuthItem), base::dataFromString("theirs"));
  ASSERT_EQ(::system(("printf again | secret-tool store --label=x " + attributes).c_str()), 0);
  EXPECT_EQ(store().read(kAuthItem), base::dataFromString("again"));

  ASSERT_EQ(::system(("secret-tool clear " + attributes).c_str()), 0);
  try {
    const auto stale = store().read(kAuthItem);
    ADD_FAILURE() << "read a deleted item: " << base::stringFromData(stale);
  } catch (const KeychainStoreError& error) {
    EXPECT_EQ(error.reason(), Reason::itemNotFound);
  }
  store().write(kAuthItem, base::dataFromString("ours again"));
  EXPECT_EQ(store().read(kAuthItem), base::dataFromString("ours again"));
  store().remove(kAuthItem);
  EXPECT_THROW(store().read(kAuthItem), KeychainStoreError);
}

TEST_F(SecretServiceKeychain, ALockedCollectionGivesAnErrorAndWritesNoFile) {
  store().write(kAuthItem, base::dataFromString("stored before locking"));
  testsupport::ScratchFolder scratch;
  CapturedLog log;
  const auto chosen = chooseKeychainStore(log, scratch.path() / "keychain");
  lockDefaultCollection();
  struct UnlockAtEnd {
    ~UnlockAtEnd() {
      const std::string failure = unlockDefaultCollection();
      EXPECT_EQ(failure, "") << "the default collection stays locked for the tests after this one";
    }
  } unlockAtEnd;

  const auto reasonOf = [](auto&& operation) -> std::optional<Reason> {
    try {
      operation();
    } catch (const KeychainStoreError& error) {
      return error.reason();
    }
    return std::nullopt;
  };
  const auto first = reasonOf([&] {
    chosen->write({"zirudeze.auth", std::nullopt, "new"}, base::dataFromString("x"));
  });
  ASSERT_TRUE(first.has_value());
  EXPECT_TRUE(*first == Reason::userCanceled || *first == Reason::interactionNotAllowed);
  EXPECT_EQ(reasonOf([&] { chosen->read(kAuthItem); }), Reason::interactionNotAllowed);
  EXPECT_EQ(reasonOf([&] { chosen->write(kAuthItem, base::dataFromString("y")); }), Reason::interactionNotAllowed);
  EXPECT_EQ(reasonOf([&] { chosen->remove(kAuthItem); }), Reason::interactionNotAllowed);
  EXPECT_FALSE(fs::exists(scratch.path() / "keychain"));
}

}  // namespace
}  // namespace velmoria::platform::testing
