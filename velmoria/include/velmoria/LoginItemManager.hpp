#pragma once

#include <QObject>
#include <iostream>
#include <memory>

#include "platform/LoginItem.hpp"
#include "platform/UserDefaults.hpp"

namespace velmoria {

// The app's start-at-login registration: made once on its own at the first start, then switched from
// the home screen.
class LoginItemManager : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool isEnabled READ isEnabled NOTIFY isEnabledChanged)

 public:
  static constexpr const char* autoRegisteredKey = "mac.loginItem.autoRegistered";

  LoginItemManager(platform::LoginItemService& service, platform::DefaultsSystem& defaults = platform::systemDefaults(),
                   std::ostream& out = std::cout, QObject* parent = nullptr);

  bool isEnabled() const { return isEnabled_; }
  void setEnabled(bool enabled);
  // Reads the registration's status again into isEnabled.
  void refresh();

 Q_SIGNALS:
  void isEnabledChanged(bool enabled);

 private:
  platform::LoginItemService& service_;
  std::ostream& out_;
  bool isEnabled_ = false;
};

}  // namespace velmoria
