#include "platform/SystemExtensionRequest.hpp"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <thread>

#include "base/ThreadSafety.hpp"
#include "platform/SystemLog.hpp"

namespace velmoria::platform {

// Looks again, now and then, whether the user has approved an executable, and completes the pending
// request when they have. A newer request replaces it.
struct LocalSystemExtensionManager::ApprovalWatch {
  static constexpr auto interval = std::chrono::milliseconds(500);

  ApprovalWatch(const LocalSystemExtensionManager& manager, const Extension& extension,
                std::filesystem::path executable, std::weak_ptr<SystemExtensionRequestDelegate> delegate)
      : thread([&manager, &extension, executable = std::move(executable), delegate = std::move(delegate),
                this](std::stop_token stop) {
          base::Mutex mutex;
          base::MutexLock lock(mutex);
          while (!wake.waitFor(lock, stop, interval, [] { return false; }) && !stop.stop_requested()) {
            if (extension.approvalNeeded(executable)) continue;
            if (const auto answer = delegate.lock()) manager.complete(extension, executable, *answer);
            return;
          }
        }) {}

  base::ConditionVariable wake;
  std::jthread thread;
};

LocalSystemExtensionManager::LocalSystemExtensionManager(std::map<std::string, std::string> executables,
                                                         std::vector<std::filesystem::path> searchFolders)
    : searchFolders_(std::move(searchFolders)) {
  for (auto& [identifier, executable] : executables) extensions_[identifier].executable = std::move(executable);
}

LocalSystemExtensionManager::LocalSystemExtensionManager(std::map<std::string, Extension> extensions,
                                                         std::vector<std::filesystem::path> searchFolders,
                                                         SystemLog& log)
    : extensions_(std::move(extensions)), searchFolders_(std::move(searchFolders)), log_(&log) {}

LocalSystemExtensionManager::~LocalSystemExtensionManager() = default;

std::vector<std::filesystem::path> LocalSystemExtensionManager::defaultSearchFolders() {
  std::vector<std::filesystem::path> folders;
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) folders.push_back(self.parent_path());
  if (const char* path = std::getenv("PATH"); path != nullptr) {
    std::string_view rest = path;
    while (!rest.empty()) {
      const auto colon = rest.find(':');
      const auto folder = rest.substr(0, colon);
      if (!folder.empty() && folder.front() == '/') folders.emplace_back(folder);
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  return folders;
}

void LocalSystemExtensionManager::submitActivationRequest(const std::string& identifier,
                                                          std::weak_ptr<SystemExtensionRequestDelegate> delegate) {
  const auto answer = delegate.lock();
  if (!answer) return;
  approval_.reset();
  const auto extension = extensions_.find(identifier);
  if (extension != extensions_.end()) {
    for (const auto& folder : searchFolders_) {
      const auto candidate = folder / extension->second.executable;
      std::error_code error;
      if (!std::filesystem::is_regular_file(candidate, error) || ::access(candidate.c_str(), X_OK) != 0) continue;
      if (extension->second.approvalNeeded) {
        if (const auto instructions = extension->second.approvalNeeded(candidate)) {
          if (log_ != nullptr) log_->log(LogLevel::notice, "velmoria.platform", "systemextension", *instructions);
          answer->requestNeedsUserApproval();
          approval_ = std::make_unique<ApprovalWatch>(*this, extension->second, candidate, delegate);
          return;
        }
      }
      complete(extension->second, candidate, *answer);
      return;
    }
  }
  answer->didFailWithError({SystemExtensionError::errorDomain, SystemExtensionError::extensionNotFound,
                            "The system extension " + identifier + " was not found next to the app."});
}

void LocalSystemExtensionManager::complete(const Extension& extension, const std::filesystem::path& executable,
                                           SystemExtensionRequestDelegate& delegate) const {
  if (extension.activated) extension.activated(executable);
  delegate.didFinishWithResult(static_cast<long>(RequestResult::completed));
}

void FakeSystemExtensionManager::submitActivationRequest(const std::string& identifier,
                                                         std::weak_ptr<SystemExtensionRequestDelegate> delegate) {
  requests_.push_back({identifier, std::move(delegate)});
}

std::shared_ptr<SystemExtensionRequestDelegate> FakeSystemExtensionManager::lastDelegate() const {
  return requests_.empty() ? nullptr : requests_.back().delegate.lock();
}

}  // namespace velmoria::platform
