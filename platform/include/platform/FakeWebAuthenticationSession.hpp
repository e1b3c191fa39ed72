#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/URL.hpp"
#include "platform/WebAuthenticationSession.hpp"

namespace velmoria::platform {

// Web authentication sessions that complete as a test scripts them. Each started session asks its
// presentation provider for an anchor, as the platform's does (none set: it fails with
// presentationContextNotProvided), then completes from a thread of its own with the next scripted
// outcome; with nothing scripted the user "cancels" (canceledLogin). Safe from any thread.
class FakeWebAuthenticationSessions {
 public:
  struct Outcome {
    std::optional<base::URL> callbackURL;
    std::exception_ptr error;
  };

  // One created session as it was when it started.
  struct Record {
    base::URL url;
    std::optional<std::string> callbackURLScheme;
    bool started = false;
    // The provider it asked for an anchor, null when none was set.
    std::shared_ptr<PresentationContextProviding> provider;
    bool gotAnchor = false;
  };

  FakeWebAuthenticationSessions();

  void completeWithURL(const base::URL& callbackURL);
  void completeWithError(std::exception_ptr error);

  // Makes sessions that report to this object; they may outlive it.
  WebAuthenticationSessionFactory factory() const;
  std::vector<Record> sessions() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace velmoria::platform
