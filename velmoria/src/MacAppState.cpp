#include "velmoria/MacAppState.hpp"

#include <QPointer>

#include "concurrency/Task.hpp"
#include "velmoria/MainThread.hpp"

namespace velmoria {

MacAppState::MacAppState(std::shared_ptr<zirudeze::ZirudezeClient> client, QObject* parent)
    : QObject(parent), client_(std::move(client)) {}

void MacAppState::setLoggedIn(bool value) {
  if (value == isLoggedIn_) return;
  isLoggedIn_ = value;
  Q_EMIT isLoggedInChanged();
}

void MacAppState::bootstrap(std::function<void()> done) {
  const QPointer<MacAppState> self(this);
  zirudeze::concurrency::Task([self, client = client_, done = std::move(done)] {
    bool signedIn = true;
    try {
      (void)client->auth()->session();
    } catch (...) {
      signedIn = false;  // no session, an expired one that cannot be refreshed, or no network
    }
    onMainThread(self, [signedIn, done](MacAppState& state) {
      state.setLoggedIn(signedIn);
      if (state.isBootstrapping_) {
        state.isBootstrapping_ = false;
        Q_EMIT state.isBootstrappingChanged();
      }
      if (done) done();
    });
  });
}

void MacAppState::signOut(std::function<void()> done) {
  const QPointer<MacAppState> self(this);
  zirudeze::concurrency::Task([self, client = client_, done = std::move(done)] {
    try {
      client->auth()->signOut(zirudeze::auth::SignOutScope::global);
    } catch (...) {
      // The stored session is the auth client's business; the app signs out all the same.
    }
    onMainThread(self, [done](MacAppState& state) {
      state.setLoggedIn(false);
      if (done) done();
    });
  });
}

}  // namespace velmoria
