#include "platform/UserDefaults.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <tuple>

#include <nlohmann/json.hpp>

#include "JsonObjectText.hpp"
#include "base/FileDescriptor.hpp"
#include "base/RegularFile.hpp"
#include "base/ThreadSafety.hpp"
#include "base/XdgDirectories.hpp"
#include "platform/AtomicFile.hpp"
#include "platform/DamagedFile.hpp"

namespace velmoria::platform {

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

namespace {

struct Snapshot {
  bool damaged = false;
  nlohmann::json content = nlohmann::json::object();
};

using Stamp = std::tuple<ino_t, std::int64_t, std::int64_t, off_t>;

DefaultsError errorFrom(const std::system_error& error, const std::filesystem::path& file) {
  return DefaultsError(error.code(), "defaults " + file.string());
}

[[noreturn]] void failWithErrno(const std::string& what) { throw DefaultsError(errno, std::generic_category(), what); }

}  // namespace

struct FileUserDefaults::Impl {
  explicit Impl(std::filesystem::path file) : file(std::move(file)) {}

  const std::filesystem::path file;
  base::Mutex mutex;
  std::optional<Stamp> cachedStamp VM_GUARDED_BY(mutex);
  Snapshot cached VM_GUARDED_BY(mutex);

  // The file as it is now; throws DefaultsError when it is there but cannot be read.
  Snapshot load() VM_REQUIRES(mutex) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
      if (errno != ENOENT && errno != ENOTDIR) failWithErrno("defaults " + file.string());
      cachedStamp.reset();
      return Snapshot{};
    }
    const Stamp stamp{st.st_ino, static_cast<std::int64_t>(st.st_mtim.tv_sec),
                      static_cast<std::int64_t>(st.st_mtim.tv_nsec), st.st_size};
    if (cachedStamp && *cachedStamp == stamp) return cached;

    std::optional<std::string> text;
    try {
      text = base::readRegularFile(file, kMaxFileBytes);
    } catch (const std::system_error& error) {
      throw errorFrom(error, file);
    }
    if (!text) {
      cachedStamp.reset();
      return Snapshot{};
    }
    Snapshot snap;
    if (auto parsed = detail::parseJsonObject(*text)) {
      snap.content = std::move(*parsed);
    } else {
      snap.damaged = true;
    }
    cachedStamp = stamp;
    cached = snap;
    return snap;
  }

  void update(const std::string& key, const nlohmann::json* value) {
    base::MutexLock lock(mutex);
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    ::chmod(file.parent_path().c_str(), 0700);

    // Serialise read-modify-write with other processes using the same suite.
    const std::string lockPath = file.string() + ".lock";
    const base::FileDescriptor lockFd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lockFd.valid()) failWithErrno("lock " + lockPath);
    while (::flock(lockFd.get(), LOCK_EX) != 0) {
      if (errno != EINTR) failWithErrno("lock " + lockPath);
    }

    cachedStamp.reset();
    Snapshot snap = load();
    try {
      // Keep what we could not read for the user instead of silently replacing it.
      if (snap.damaged) keepDamagedFile(file);
      if (value) {
        snap.content[key] = *value;
      } else {
        snap.content.erase(key);
      }
      writeFileAtomically(file, snap.content.dump(2) + "\n", 0600);
    } catch (const std::system_error& error) {
      cachedStamp.reset();
      throw errorFrom(error, file);
    }
    cachedStamp.reset();
  }
};

FileUserDefaults::FileUserDefaults(std::filesystem::path file) : impl_(std::make_unique<Impl>(std::move(file))) {}
FileUserDefaults::~FileUserDefaults() = default;

const std::filesystem::path& FileUserDefaults::file() const { return impl_->file; }

std::optional<nlohmann::json> FileUserDefaults::value(const std::string& key) const {
  base::MutexLock lock(impl_->mutex);
  const auto snap = impl_->load();
  const auto it = snap.content.find(key);
  if (it == snap.content.end()) return std::nullopt;
  return *it;
}

void FileUserDefaults::setValue(const std::string& key, const nlohmann::json& value) { impl_->update(key, &value); }
void FileUserDefaults::removeValue(const std::string& key) { impl_->update(key, nullptr); }

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

}  // namespace velmoria::platform
