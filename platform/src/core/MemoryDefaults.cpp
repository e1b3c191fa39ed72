#include "platform/MemoryDefaults.hpp"

namespace velmoria::platform {
namespace {

class MemoryUserDefaults final : public UserDefaults {
 public:
  explicit MemoryUserDefaults(std::shared_ptr<MemoryDefaultsSystem::Storage> storage) : storage_(std::move(storage)) {}
  std::optional<nlohmann::json> value(const std::string& key) const override {
    checkStorage();
    const auto it = storage_->values.find(key);
    if (it == storage_->values.end()) return std::nullopt;
    return it->second;
  }
  void setValue(const std::string& key, const nlohmann::json& value) override {
    checkStorage();
    storage_->values[key] = value;
    ++storage_->writes;
  }
  void removeValue(const std::string& key) override {
    checkStorage();
    storage_->values.erase(key);
    ++storage_->writes;
  }

 private:
  void checkStorage() const {
    if (storage_->failure) throw DefaultsError(std::make_error_code(*storage_->failure), "memory defaults");
  }
  std::shared_ptr<MemoryDefaultsSystem::Storage> storage_;
};

}  // namespace

std::shared_ptr<MemoryDefaultsSystem::Storage> MemoryDefaultsSystem::shared(const std::string& name) {
  auto& slot = suites_[name];
  if (!slot) slot = std::make_shared<Storage>();
  return slot;
}

MemoryDefaultsSystem::Storage& MemoryDefaultsSystem::storage(const std::string& name) { return *shared(name); }

std::shared_ptr<UserDefaults> MemoryDefaultsSystem::standard() {
  return std::make_shared<MemoryUserDefaults>(shared(kStandardSuiteName));
}

std::shared_ptr<UserDefaults> MemoryDefaultsSystem::suite(const std::string& name) {
  ++suiteOpens;
  if (unavailable.count(name) != 0) return nullptr;
  return std::make_shared<MemoryUserDefaults>(shared(name));
}

}  // namespace velmoria::platform
