#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace velmoria::platform {

// The raw values are those the app's login-item logic compares against.
enum class LoginItemStatus { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

class LoginItemError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The app's own start-at-login registration.
class LoginItemService {
 public:
  virtual ~LoginItemService() = default;
  virtual LoginItemStatus status() = 0;
  // Throw LoginItemError with a readable description on failure.
  virtual void registerItem() = 0;
  virtual void unregisterItem() = 0;
};

// An XDG autostart entry "velmoria.desktop" in $XDG_CONFIG_HOME/autostart (~/.config/autostart).
// Present -> enabled; present but switched off by the desktop (Hidden=true or
// X-GNOME-Autostart-enabled=false) -> requires approval; absent -> not registered; no known own
// executable -> not found.
// A run started with an information file of its own ($VELMORIA_INFO, `namedInfo`) registers an entry
// that starts the app with that information: the file is copied to `lastingInfo` (by default
// $XDG_CONFIG_HOME/velmoria/Info.json), since the named one may be gone by the next login, and the
// entry names the copy. A named file that cannot be copied refuses the registration.
class XdgAutostartLoginItem final : public LoginItemService {
 public:
  explicit XdgAutostartLoginItem(std::optional<std::filesystem::path> autostartFolder = std::nullopt,
                                 std::optional<std::filesystem::path> executable = std::nullopt,
                                 std::optional<std::filesystem::path> namedInfo = std::nullopt,
                                 std::optional<std::filesystem::path> lastingInfo = std::nullopt);
  LoginItemStatus status() override;
  void registerItem() override;
  void unregisterItem() override;

  std::filesystem::path entryFile() const { return folder_ / "velmoria.desktop"; }

 private:
  std::filesystem::path folder_;
  std::optional<std::filesystem::path> executable_;
  std::optional<std::filesystem::path> namedInfo_;
  std::filesystem::path lastingInfo_;
};

// A scripted registration for tests.
class FakeLoginItem final : public LoginItemService {
 public:
  LoginItemStatus status() override { return current; }
  void registerItem() override {
    ++registerCalls;
    if (failure) throw LoginItemError(*failure);
    current = statusAfterRegister;
  }
  void unregisterItem() override {
    ++unregisterCalls;
    if (failure) throw LoginItemError(*failure);
    current = LoginItemStatus::notRegistered;
  }

  LoginItemStatus current = LoginItemStatus::notRegistered;
  LoginItemStatus statusAfterRegister = LoginItemStatus::enabled;
  std::optional<std::string> failure;
  int registerCalls = 0;
  int unregisterCalls = 0;
};

// The text of an autostart entry that runs `executable` (quoted and escaped for the Exec key), with
// VELMORIA_INFO set to `info` when one is given.
std::string autostartEntryText(const std::filesystem::path& executable,
                               const std::optional<std::filesystem::path>& info = std::nullopt);

}  // namespace velmoria::platform
