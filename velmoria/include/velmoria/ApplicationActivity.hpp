#pragma once

#include <QObject>

namespace velmoria {

// Tells the backend clients when the app becomes the active one and when it stops being it, by the
// notifications they follow on the default notification centre.
class ApplicationActivity : public QObject {
  Q_OBJECT

 public:
  // Follows the running application's state.
  explicit ApplicationActivity(QObject* parent = nullptr);

  void stateChanged(Qt::ApplicationState state);

 private:
  bool active_ = false;
};

}  // namespace velmoria
