#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "zirudeze/ZirudezeClient.hpp"

namespace velmoria {

// Whether the app is still checking for a stored session, and whether it is signed in.
// Main thread only; the backend is asked on worker threads.
class MacAppState : public QObject {
  Q_OBJECT

 public:
  explicit MacAppState(std::shared_ptr<zirudeze::ZirudezeClient> client, QObject* parent = nullptr);

  bool isBootstrapping() const { return isBootstrapping_; }
  bool isLoggedIn() const { return isLoggedIn_; }
  // The sign-in screen sets this once a code was accepted.
  void setLoggedIn(bool value);

  // Signed in exactly when the auth client has a session (refreshed when it expired); then done
  // bootstrapping. `done` runs on the main thread after both are published.
  void bootstrap(std::function<void()> done = {});
  // Signs out everywhere; whatever the backend answers, the app is signed out afterwards.
  void signOut(std::function<void()> done = {});

 Q_SIGNALS:
  void isBootstrappingChanged();
  void isLoggedInChanged();

 private:
  std::shared_ptr<zirudeze::ZirudezeClient> client_;
  bool isBootstrapping_ = true;
  bool isLoggedIn_ = false;
};

}  // namespace velmoria
