#pragma once

#include <QObject>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MainScheduler.hpp"
#include "platform/ScriptRunner.hpp"
#include "platform/UserDefaults.hpp"
#include "platform/Workspace.hpp"

namespace velmoria {

// While blocking, points the front tab of a known browser at the local block page when its host is on
// the blocked-domain list.
class BrowserRedirector : public QObject {
  Q_OBJECT

 public:
  struct Browser {
    std::string appName;  // the application's name in scripts
    std::string tab;      // the words for its current tab
  };
  struct Redirect {
    std::string host;
    std::chrono::system_clock::time_point at;
  };

  static constexpr const char* appGroupID = "group.com.tandrelkoss.kelvaton";
  static constexpr const char* blockedDomainsKey = "mac.blockedDomains";
  static constexpr std::chrono::milliseconds tickInterval{600};
  static constexpr std::chrono::milliseconds redirectPause{2000};

  using TemporaryDirectory = std::function<std::filesystem::path()>;

  BrowserRedirector(platform::DefaultsSystem& defaults, platform::Workspace& workspace, platform::ScriptRunner& scripts,
                    platform::MainScheduler& scheduler, TemporaryDirectory temporaryDirectory = {},
                    QObject* parent = nullptr);
  ~BrowserRedirector() override;

  void start();
  void stop();
  void tick();

  bool isRunning() const { return timer_ != nullptr; }
  const std::optional<std::string>& blockPageURL() const { return blockPageURL_; }
  const std::optional<Redirect>& lastRedirect() const { return lastRedirect_; }

  static const std::map<std::string, Browser>& browsers();
  static std::string readScript(const Browser& browser);
  static std::string setScript(const Browser& browser, std::string_view target);
  // The bare lower-case host of a tab's address; nothing without a (non-empty) host.
  static std::optional<std::string> hostOfURL(std::string_view text);
  static bool isBlockedHost(std::string_view host, const std::vector<std::string>& domains);

 private:
  void ensureBlockPage();
  std::vector<std::string> readBlockedDomains() const;

  std::unique_ptr<platform::MainTimer> timer_;
  std::optional<std::string> blockPageURL_;
  std::optional<Redirect> lastRedirect_;
  platform::DefaultsSystem& defaults_;
  platform::Workspace& workspace_;
  platform::ScriptRunner& scripts_;
  platform::MainScheduler& scheduler_;
  TemporaryDirectory temporaryDirectory_;
};

}  // namespace velmoria
