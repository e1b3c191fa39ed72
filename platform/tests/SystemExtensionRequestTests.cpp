#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "platform/SystemExtensionRequest.hpp"

namespace velmoria::platform {
namespace {

struct RecordingDelegate final : SystemExtensionRequestDelegate {
  std::vector<std::string> answers;
  ReplacementAction actionForReplacingExtension(const SystemExtensionProperties&,
                                                const SystemExtensionProperties&) override {
    answers.push_back("replace?");
    return ReplacementAction::replace;
  }
  void requestNeedsUserApproval() override { answers.push_back("approval"); }
  void didFinishWithResult(long result) override { answers.push_back("finished " + std::to_string(result)); }
  void didFailWithError(const SystemExtensionError& error) override {
    answers.push_back(error.domain + " " + std::to_string(error.code));
  }
};

TEST(LocalSystemExtensionManagerTest, CompletesWhenTheExtensionExecutableIsThere) {
  const auto folder = std::filesystem::temp_directory_path() / ("velmoria-sysext-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  LocalSystemExtensionManager manager({{"com.example.proxy", "example-filter"}}, {folder / "missing", folder});
  auto delegate = std::make_shared<RecordingDelegate>();

  manager.submitActivationRequest("com.example.proxy", delegate);
  std::ofstream(folder / "example-filter") << "#!/bin/sh\n";
  manager.submitActivationRequest("com.example.proxy", delegate);  // present but not executable
  ::chmod((folder / "example-filter").c_str(), 0755);
  manager.submitActivationRequest("com.example.proxy", delegate);
  manager.submitActivationRequest("com.example.other", delegate);
  EXPECT_EQ(delegate->answers,
            (std::vector<std::string>{"OSSystemExtensionErrorDomain 4", "OSSystemExtensionErrorDomain 4", "finished 0",
                                      "OSSystemExtensionErrorDomain 4"}));

  std::weak_ptr<RecordingDelegate> gone;
  {
    auto temporary = std::make_shared<RecordingDelegate>();
    gone = temporary;
  }
  manager.submitActivationRequest("com.example.proxy", gone);  // a released delegate gets nothing
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace velmoria::platform
