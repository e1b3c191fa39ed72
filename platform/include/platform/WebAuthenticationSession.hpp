#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/URL.hpp"

namespace velmoria::platform {

// What a web authentication session shows its sign-in page over. Opaque: only the platform looks inside.
struct PresentationAnchor {};

class WebAuthenticationSession;

// Hands a session the anchor to present over when it starts.
class PresentationContextProviding {
 public:
  virtual ~PresentationContextProviding() = default;
  virtual std::shared_ptr<PresentationAnchor> presentationAnchor(const WebAuthenticationSession& session) = 0;
};

// The failures a session completes with.
class WebAuthenticationError : public std::runtime_error {
 public:
  enum class Code {
    // This platform has no web authentication session at all.
    unavailable,
    canceledLogin,
    presentationContextNotProvided,
    presentationContextInvalid,
  };

  WebAuthenticationError(Code code, const std::string& message) : std::runtime_error(message), code_(code) {}
  Code code() const noexcept { return code_; }

 private:
  Code code_;
};

// A sign-in page shown by the system browser until it returns to the app's callback scheme. The
// completion runs once, with the address the browser came back with or an error, on any thread, possibly
// inside start(). The session keeps its presentation provider only weakly.
class WebAuthenticationSession {
 public:
  using Completion = std::function<void(std::optional<base::URL> callbackURL, std::exception_ptr error)>;

  WebAuthenticationSession(base::URL url, std::optional<std::string> callbackURLScheme, Completion completion)
      : url_(std::move(url)), callbackURLScheme_(std::move(callbackURLScheme)), completion_(std::move(completion)) {}
  virtual ~WebAuthenticationSession() = default;
  WebAuthenticationSession(const WebAuthenticationSession&) = delete;
  WebAuthenticationSession& operator=(const WebAuthenticationSession&) = delete;

  const base::URL& url() const noexcept { return url_; }
  const std::optional<std::string>& callbackURLScheme() const noexcept { return callbackURLScheme_; }

  std::shared_ptr<PresentationContextProviding> presentationContextProvider() const {
    return presentationContextProvider_.lock();
  }
  void setPresentationContextProvider(const std::shared_ptr<PresentationContextProviding>& provider) {
    presentationContextProvider_ = provider;
  }

  // False when the session could not start; its completion has then run with the reason.
  virtual bool start() = 0;

 protected:
  void complete(std::optional<base::URL> callbackURL, std::exception_ptr error) const {
    if (completion_) completion_(std::move(callbackURL), std::move(error));
  }

 private:
  base::URL url_;
  std::optional<std::string> callbackURLScheme_;
  Completion completion_;
  std::weak_ptr<PresentationContextProviding> presentationContextProvider_;
};

// Makes the platform's sessions.
using WebAuthenticationSessionFactory = std::function<std::unique_ptr<WebAuthenticationSession>(
    base::URL url, std::optional<std::string> callbackURLScheme, WebAuthenticationSession::Completion completion)>;

// Linux has no system web authentication broker: start() completes at once with the "unavailable" error.
class UnavailableWebAuthenticationSession final : public WebAuthenticationSession {
 public:
  using WebAuthenticationSession::WebAuthenticationSession;
  bool start() override;

  static WebAuthenticationSessionFactory factory();
};

}  // namespace velmoria::platform
