#pragma once

#include <QObject>
#include <QString>

namespace velmoria {

// The name the shield shows; shared by every shield window.
class OverlayModel : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString appName READ appName WRITE setAppName NOTIFY appNameChanged)

 public:
  explicit OverlayModel(QObject* parent = nullptr) : QObject(parent) {}
  const QString& appName() const { return appName_; }
  void setAppName(const QString& name) {
    if (name == appName_) return;
    appName_ = name;
    Q_EMIT appNameChanged(appName_);
  }

 Q_SIGNALS:
  void appNameChanged(const QString& name);

 private:
  QString appName_;
};

}  // namespace velmoria
