#include "velmoria/LoginItemManager.hpp"

#include <nlohmann/json.hpp>

namespace velmoria {

using platform::LoginItemStatus;

LoginItemManager::LoginItemManager(platform::LoginItemService& service, platform::DefaultsSystem& defaults,
                                   std::ostream& out, QObject* parent)
    : QObject(parent), service_(service), out_(out) {
  isEnabled_ = service_.status() == LoginItemStatus::enabled;
  auto standard = defaults.standard();
  try {
    if (!standard->boolValue(autoRegisteredKey)) {
      // Marked first, so a registration that fails is not tried again at later starts.
      standard->setValue(autoRegisteredKey, true);
      setEnabled(true);
    }
  } catch (const platform::DefaultsError& error) {
    // Without the mark a later start would register again what the user may have switched off.
    out_ << "LoginItem auto-registration skipped: " << error.what() << std::endl;
  }
}

void LoginItemManager::setEnabled(bool enabled) {
  const bool isOn = service_.status() == LoginItemStatus::enabled;
  if (enabled != isOn) {
    try {
      if (enabled) {
        service_.registerItem();
      } else {
        service_.unregisterItem();
      }
    } catch (const std::exception& error) {
      out_ << "LoginItem toggle failed: " << error.what() << std::endl;
    }
  }
  refresh();
}

void LoginItemManager::refresh() {
  const bool now = service_.status() == LoginItemStatus::enabled;
  if (now == isEnabled_) return;
  isEnabled_ = now;
  Q_EMIT isEnabledChanged(now);
}

}  // namespace velmoria
