#include "platform/UserDefaults.hpp"
#include "base/XdgDirectories.hpp"

#include "platform/AtomicFile.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform {

std::optional<std::vector<std::string>> UserDefaults::stringArray(const std::string& key) const {
  const auto v = value(key);
  if (!v || !v->is_array()) return std::nullopt;
  std::vector<std::string> out;
  out.reserve(v->size());
  for (const auto& item : *v) {
    if (!item.is_string()) return std::nullopt;
    out.push_back(item.get<std::string>());
  }
  return out;
}

bool UserDefaults::boolValue(const std::string& key) const {
  const auto v = value(key);
  return v && v->is_boolean() && v->get<bool>();
}

// ---- file suite ----

FileUserDefaults::FileUserDefaults(std::filesystem::path file) : file_(std::move(file)) {}

FileUserDefaults::Snapshot FileUserDefaults::load() const {
  struct stat st {};
  if (::stat(file_.c_str(), &st) != 0) {
    cachedStamp_.reset();
    return Snapshot{};
  }
  const auto stamp = std::make_tuple(st.st_ino, static_cast<std::int64_t>(st.st_mtim.tv_sec),
                                     static_cast<std::int64_t>(st.st_mtim.tv_nsec), st.st_size);
  if (cachedStamp_ && *cachedStamp_ == stamp) return cached_;

  Snapshot snap;
  snap.exists = true;
  std::ifstream in(file_, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  auto parsed = nlohmann::json::parse(buffer.str(), nullptr, /*allow_exceptions=*/false);
  if (parsed.is_object()) {
    snap.content = std::move(parsed);
  } else {
    snap.damaged = true;
  }
  cachedStamp_ = stamp;
  cached_ = snap;
  return snap;
}

std::optional<nlohmann::json> FileUserDefaults::value(const std::string& key) const {
  std::lock_guard lock(mutex_);
  const auto snap = load();
  const auto it = snap.content.find(key);
  if (it == snap.content.end()) return std::nullopt;
  return *it;
}

void FileUserDefaults::update(const std::string& key, const nlohmann::json* value) {
  std::lock_guard lock(mutex_);
  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  ::chmod(file_.parent_path().c_str(), 0700);

  // Serialise read-modify-write with other processes using the same suite.
  const std::string lockPath = file_.string() + ".lock";
  const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd >= 0) ::flock(lockFd, LOCK_EX);
  struct Unlock {
    int fd;
    ~Unlock() {
      if (fd >= 0) ::close(fd);
    }
  } unlock{lockFd};

  cachedStamp_.reset();
  Snapshot snap = load();
  if (snap.damaged) {
    // Keep what we could not read for the user instead of silently replacing it.
    std::filesystem::rename(file_, file_.string() + ".corrupt", ec);
  }
  if (value) {
    snap.content[key] = *value;
  } else {
    snap.content.erase(key);
  }
  try {
    writeFileAtomically(file_, snap.content.dump(2) + "\n", 0600);
  } catch (const std::system_error&) {
    // Defaults writes report no errors to their callers; the next write tries again.
  }
  cachedStamp_.reset();
}

void FileUserDefaults::setValue(const std::string& key, const nlohmann::json& value) { update(key, &value); }
void FileUserDefaults::removeValue(const std::string& key) { update(key, nullptr); }

FileDefaultsSystem::FileDefaultsSystem(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::shared_ptr<UserDefaults> FileDefaultsSystem::standard() {
  return std::make_shared<FileUserDefaults>(folder_ / (std::string(kStandardSuiteName) + ".json"));
}

std::shared_ptr<UserDefaults> FileDefaultsSystem::suite(const std::string& name) {
  // A suite name becomes a file name: nothing that could leave the folder or clash with the standard one.
  if (name.empty() || name == kStandardSuiteName || name.front() == '.' ||
      name.find_first_of("/\\") != std::string::npos || name.find('\0') != std::string::npos) {
    return nullptr;
  }
  return std::make_shared<FileUserDefaults>(folder_ / (name + ".json"));
}

std::filesystem::path defaultsFolder() { return base::xdgConfigHome() / "velmoria"; }

DefaultsSystem& systemDefaults() {
  static FileDefaultsSystem instance(defaultsFolder());
  return instance;
}

// ---- memory suites ----

namespace {
class MemoryUserDefaults final : public UserDefaults {
 public:
  explicit MemoryUserDefaults(std::shared_ptr<MemoryDefaultsSystem::Storage> storage) : storage_(std::move(storage)) {}
  std::optional<nlohmann::json> value(const std::string& key) const override {
    const auto it = storage_->values.find(key);
    if (it == storage_->values.end()) return std::nullopt;
    return it->second;
  }
  void setValue(const std::string& key, const nlohmann::json& value) override {
    storage_->values[key] = value;
    ++storage_->writes;
  }
  void removeValue(const std::string& key) override {
    storage_->values.erase(key);
    ++storage_->writes;
  }

 private:
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

}  // namespace platform
