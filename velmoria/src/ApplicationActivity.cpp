#include "velmoria/ApplicationActivity.hpp"

#include <QGuiApplication>
#include <string>

#include "auth/ApplicationActivity.hpp"
#include "helpers/NotificationCenter.hpp"

namespace velmoria {

ApplicationActivity::ApplicationActivity(QObject* parent) : QObject(parent) {
  if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    connect(gui, &QGuiApplication::applicationStateChanged, this, &ApplicationActivity::stateChanged);
  }
}

void ApplicationActivity::stateChanged(Qt::ApplicationState state) {
  const bool active = state == Qt::ApplicationActive;
  if (active == active_) return;
  active_ = active;
  auto& center = zirudeze::helpers::NotificationCenter::defaultCenter();
  center.post(std::string(active ? zirudeze::auth::kApplicationDidBecomeActiveNotification
                                 : zirudeze::auth::kApplicationWillResignActiveNotification));
}

}  // namespace velmoria
