#include "auth/Keychain.hpp"

#include <utility>

namespace zirudeze::auth {
namespace {

using Reason = velmoria::platform::KeychainStoreError::Reason;

KeychainError::Code codeOf(const velmoria::platform::KeychainStoreError& failure) {
  switch (failure.reason()) {
    case Reason::itemNotFound:
      return KeychainError::Code::itemNotFound();
    case Reason::userCanceled:
      return KeychainError::Code::userCanceled();
    case Reason::interactionNotAllowed:
      return KeychainError::Code::interactionNotAllowed();
    case Reason::unknown:
      break;
  }
  return KeychainError::Code::unknown(failure.message());
}

// Runs a keychain operation, reporting each of its failures as a KeychainError.
template <class Operation>
decltype(auto) reportingKeychainErrors(Operation&& operation) {
  try {
    return std::forward<Operation>(operation)();
  } catch (const velmoria::platform::KeychainStoreError& failure) {
    throw KeychainError(codeOf(failure));
  } catch (const KeychainError&) {
    throw;
  } catch (const std::exception& failure) {
    throw KeychainError(KeychainError::Code::unknown(failure.what()));
  }
}

}  // namespace

Keychain::Keychain(std::optional<std::string> service, std::optional<std::string> accessGroup,
                   std::shared_ptr<velmoria::platform::KeychainStore> store)
    : service_(std::move(service)),
      accessGroup_(std::move(accessGroup)),
      store_(store ? std::move(store) : velmoria::platform::defaultKeychainStore()) {}

velmoria::platform::KeychainItemKey Keychain::itemKey(const std::string& key) const {
  return {service_, accessGroup_, key};
}

velmoria::base::Data Keychain::data(const std::string& forKey) const {
  return reportingKeychainErrors([&] { return store_->read(itemKey(forKey)); });
}

std::optional<velmoria::base::Data> Keychain::dataIfPresent(const std::string& forKey) const {
  return reportingKeychainErrors([&] { return store_->readIfPresent(itemKey(forKey)); });
}

void Keychain::set(const velmoria::base::Data& value, const std::string& forKey) const {
  reportingKeychainErrors([&] { store_->write(itemKey(forKey), value); });
}

void Keychain::deleteItem(const std::string& forKey) const {
  reportingKeychainErrors([&] { store_->remove(itemKey(forKey)); });
}

}  // namespace zirudeze::auth
