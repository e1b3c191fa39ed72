#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmoria::platform {

struct SystemExtensionProperties {
  std::string bundleIdentifier;
  std::string bundleVersion;
  std::string bundleShortVersion;
};

struct SystemExtensionError {
  std::string domain;
  long code = 0;
  std::string localizedDescription;

  static constexpr const char* errorDomain = "OSSystemExtensionErrorDomain";
  enum Code : long { unknown = 1, missingEntitlement = 2, unsupportedParentBundleLocation = 3, extensionNotFound = 4 };
};

enum class ReplacementAction : long { cancel = 0, replace = 1 };

// Result codes of a finished request.
enum class RequestResult : long { completed = 0, willCompleteAfterReboot = 1 };

// The answers to an activation request. They may arrive on any thread; answer handlers hop to their own.
class SystemExtensionRequestDelegate {
 public:
  virtual ~SystemExtensionRequestDelegate() = default;
  virtual ReplacementAction actionForReplacingExtension(const SystemExtensionProperties& existing,
                                                        const SystemExtensionProperties& replacement) = 0;
  virtual void requestNeedsUserApproval() = 0;
  virtual void didFinishWithResult(long result) = 0;
  virtual void didFailWithError(const SystemExtensionError& error) = 0;
};

// Installs system extensions. The request holds its delegate weakly.
class SystemExtensionManager {
 public:
  virtual ~SystemExtensionManager() = default;
  virtual void submitActivationRequest(const std::string& identifier,
                                       std::weak_ptr<SystemExtensionRequestDelegate> delegate) = 0;
};

class SystemLog;

// On Linux an extension is an executable shipped with the app: activation finds it beside the running
// program (or on PATH) and completes, or fails with extensionNotFound. An executable the user has yet
// to approve gets the needs-approval answer, and the request completes once the approval shows on the
// file. Answers come inside the call, or on a watcher thread for a pending approval.
class LocalSystemExtensionManager final : public SystemExtensionManager {
 public:
  struct Extension {
    std::string executable;  // file name searched for
    // What the user must do before the found executable may run (naming the command), or nothing.
    std::function<std::optional<std::string>(const std::filesystem::path&)> approvalNeeded;
    // Runs once the activation completes.
    std::function<void(const std::filesystem::path&)> activated;
  };

  // Extension identifiers and the executable names that implement them.
  explicit LocalSystemExtensionManager(std::map<std::string, std::string> executables,
                                       std::vector<std::filesystem::path> searchFolders = defaultSearchFolders());
  LocalSystemExtensionManager(std::map<std::string, Extension> extensions,
                              std::vector<std::filesystem::path> searchFolders, SystemLog& log);
  ~LocalSystemExtensionManager() override;

  void submitActivationRequest(const std::string& identifier,
                               std::weak_ptr<SystemExtensionRequestDelegate> delegate) override;

  // The folder of the running executable, then the folders of PATH.
  static std::vector<std::filesystem::path> defaultSearchFolders();

 private:
  struct ApprovalWatch;
  void complete(const Extension& extension, const std::filesystem::path& executable,
                SystemExtensionRequestDelegate& delegate) const;

  std::map<std::string, Extension> extensions_;
  std::vector<std::filesystem::path> searchFolders_;
  SystemLog* log_ = nullptr;
  std::unique_ptr<ApprovalWatch> approval_;
};

// Records requests; tests answer them through the recorded delegates.
class FakeSystemExtensionManager final : public SystemExtensionManager {
 public:
  struct Request {
    std::string identifier;
    std::weak_ptr<SystemExtensionRequestDelegate> delegate;
  };

  void submitActivationRequest(const std::string& identifier,
                               std::weak_ptr<SystemExtensionRequestDelegate> delegate) override;

  const std::vector<Request>& requests() const { return requests_; }
  // The delegate of the newest request, or nullptr when it is gone or nothing was submitted.
  std::shared_ptr<SystemExtensionRequestDelegate> lastDelegate() const;

 private:
  std::vector<Request> requests_;
};

}  // namespace velmoria::platform
