#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "platform/ContentFilterHost.hpp"
#include "platform/SystemLog.hpp"
#include "testsupport/Eventually.hpp"
#include "testsupport/ScratchFolder.hpp"

namespace velmoria::platform {
namespace {

using namespace std::chrono_literals;

using testsupport::eventually;

// Plays the daemon's side of the status file: an exclusive lock held while it runs.
class FakeDaemon {
 public:
  explicit FakeDaemon(const std::filesystem::path& file)
      : fd_(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    ::flock(fd_, LOCK_EX);
  }
  ~FakeDaemon() { die(); }
  void write(std::string_view text) const { static_cast<void>(::pwrite(fd_, text.data(), text.size(), 0)); }
  void die() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

TEST(ContentFilterStatusTest, TheDaemonRunsOnlyWhileItHoldsTheStatusFile) {
  const testsupport::ScratchFolder folder;
  const auto preferences = folder.path() / "network-extension.json";
  const auto file = contentFilterStatusFile(preferences);
  EXPECT_EQ(file, folder.path() / "network-extension.json.status");
  EXPECT_EQ(readContentFilterRunState(file), ContentFilterRunState::notRunning);

  FakeDaemon daemon(file);
  daemon.write("idle     \n");
  EXPECT_EQ(readContentFilterRunState(file), ContentFilterRunState::idle);
  daemon.write("enforcing\n");
  EXPECT_EQ(readContentFilterRunState(file), ContentFilterRunState::enforcing);
  // A daemon killed outright cannot clean up what it wrote; the released lock tells.
  daemon.die();
  EXPECT_EQ(readContentFilterRunState(file), ContentFilterRunState::notRunning);
}

TEST(ContentFilterStatusTest, ObserversHearOfChangesAndOfTheDaemonDying) {
  const testsupport::ScratchFolder folder;
  const auto file = contentFilterStatusFile(folder.path() / "network-extension.json");
  FileContentFilterStatus status(file);
  std::mutex mutex;
  std::vector<ContentFilterRunState> seen;
  status.observe([&] {
    const std::lock_guard lock(mutex);
    seen.push_back(status.current());
  });
  const auto saw = [&](ContentFilterRunState state) {
    return eventually([&] {
      const std::lock_guard lock(mutex);
      return !seen.empty() && seen.back() == state;
    });
  };
  auto daemon = std::make_unique<FakeDaemon>(file);
  daemon->write("enforcing\n");
  EXPECT_TRUE(saw(ContentFilterRunState::enforcing));
  daemon.reset();
  EXPECT_TRUE(saw(ContentFilterRunState::notRunning));
}

struct RecordingDelegate final : SystemExtensionRequestDelegate {
  std::mutex mutex;
  std::vector<std::string> answers;
  ReplacementAction actionForReplacingExtension(const SystemExtensionProperties&,
                                                const SystemExtensionProperties&) override {
    return ReplacementAction::replace;
  }
  void requestNeedsUserApproval() override { add("approval"); }
  void didFinishWithResult(long result) override { add("finished " + std::to_string(result)); }
  void didFailWithError(const SystemExtensionError& error) override { add(error.domain); }
  void add(std::string answer) {
    const std::lock_guard lock(mutex);
    answers.push_back(std::move(answer));
  }
  std::vector<std::string> all() {
    const std::lock_guard lock(mutex);
    return answers;
  }
};

TEST(FilterActivationTest, AnExecutableWithoutCapabilitiesNeedsApprovalUntilItHasThem) {
  const testsupport::ScratchFolder folder;
  std::filesystem::copy_file("/bin/true", folder.path() / "velmoria-filter");
  auto extension = contentFilterExtension(folder.path() / "network-extension.json");
  std::atomic<int> activated{0};
  extension.activated = [&](const std::filesystem::path&) { ++activated; };
  CapturedLog log;
  LocalSystemExtensionManager manager({{"com.example.filter", extension}}, {folder.path()}, log);
  auto delegate = std::make_shared<RecordingDelegate>();

  manager.submitActivationRequest("com.example.filter", delegate);
  EXPECT_EQ(delegate->all(), std::vector<std::string>{"approval"});
  ASSERT_EQ(log.records().size(), 1u);
  const auto text = log.records()[0].message;
  EXPECT_NE(text.find("CAP_NET_RAW and CAP_NET_ADMIN"), std::string::npos) << text;
  EXPECT_NE(text.find("sudo scripts/install-filter " + (folder.path() / "velmoria-filter").string()), std::string::npos)
      << text;
  EXPECT_FALSE(grantsFilterCapabilities(folder.path() / "velmoria-filter"));
  EXPECT_EQ(activated, 0);

  if (::geteuid() != 0) GTEST_SKIP() << "granting capabilities needs root; the approval half ran";
  const auto script = std::filesystem::path(PROJECT_SOURCE_FOLDER) / "scripts/install-filter";
  const auto command = script.string() + " " + (folder.path() / "velmoria-filter").string() + " >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(grantsFilterCapabilities(folder.path() / "velmoria-filter"));
  // The pending request completes by itself once the approval shows on the file.
  EXPECT_TRUE(eventually([&] { return delegate->all().size() == 2; }));
  EXPECT_EQ(delegate->all(), (std::vector<std::string>{"approval", "finished 0"}));
  EXPECT_EQ(activated, 1);
  struct stat info {};
  ::stat((folder.path() / "velmoria-filter").c_str(), &info);
  EXPECT_EQ(info.st_mode & 07777, 0750u);

  // Approved already: the request completes at once.
  manager.submitActivationRequest("com.example.filter", delegate);
  EXPECT_EQ(delegate->all().back(), "finished 0");
  EXPECT_EQ(activated, 2);
}

TEST(FilterActivationTest, ActivationStartsTheDaemonOnlyWhenNoneFollowsThePreferences) {
  const testsupport::ScratchFolder folder;
  const auto preferences = folder.path() / "network-extension.json";
  const auto started = folder.path() / "started";
  {
    std::ofstream script(folder.path() / "velmoria-filter");
    script << "#!/bin/sh\necho \"$@\" >> " << started.string() << "\n";
  }
  ::chmod((folder.path() / "velmoria-filter").c_str(), 0755);
  const auto extension = contentFilterExtension(preferences);

  {
    const FakeDaemon running(contentFilterStatusFile(preferences));
    extension.activated(folder.path() / "velmoria-filter");
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(std::filesystem::exists(started));
  }
  extension.activated(folder.path() / "velmoria-filter");
  EXPECT_TRUE(eventually([&] { return std::filesystem::exists(started) && std::filesystem::file_size(started) > 0; }));
  std::ifstream in(started);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "--config " + preferences.string());
}

}  // namespace
}  // namespace velmoria::platform
