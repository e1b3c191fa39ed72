#include "platform/SystemExtensionRequest.hpp"

#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <system_error>

namespace platform {

LocalSystemExtensionManager::LocalSystemExtensionManager(std::map<std::string, std::string> executables,
                                                         std::vector<std::filesystem::path> searchFolders)
    : executables_(std::move(executables)), searchFolders_(std::move(searchFolders)) {}

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
  const auto executable = executables_.find(identifier);
  if (executable != executables_.end()) {
    for (const auto& folder : searchFolders_) {
      const auto candidate = folder / executable->second;
      std::error_code error;
      if (std::filesystem::is_regular_file(candidate, error) && ::access(candidate.c_str(), X_OK) == 0) {
        answer->didFinishWithResult(static_cast<long>(RequestResult::completed));
        return;
      }
    }
  }
  answer->didFailWithError({SystemExtensionError::errorDomain, SystemExtensionError::extensionNotFound,
                            "The system extension " + identifier + " was not found next to the app."});
}

void FakeSystemExtensionManager::submitActivationRequest(const std::string& identifier,
                                                         std::weak_ptr<SystemExtensionRequestDelegate> delegate) {
  requests_.push_back({identifier, std::move(delegate)});
}

std::shared_ptr<SystemExtensionRequestDelegate> FakeSystemExtensionManager::lastDelegate() const {
  return requests_.empty() ? nullptr : requests_.back().delegate.lock();
}

}  // namespace platform
