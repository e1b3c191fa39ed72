#pragma once

// A legacy socket that never leaves the process: its transport records nothing and reports nothing.
#include <memory>

#include "realtime/legacy/RealtimeClient.hpp"

namespace zirudeze::fuzzing {

class SilentTransport final : public zirudeze::realtime::SocketTransport {
 public:
  zirudeze::realtime::SocketTransportReadyState readyState() const override { return state_; }
  std::shared_ptr<zirudeze::realtime::SocketTransportDelegate> delegate() const override { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<zirudeze::realtime::SocketTransportDelegate> delegate) override {
    delegate_ = std::move(delegate);
  }
  void connect(const std::map<std::string, std::string>&) override {
    state_ = zirudeze::realtime::SocketTransportReadyState::connecting;
  }
  void disconnect(int, const std::optional<std::string>&) override {
    state_ = zirudeze::realtime::SocketTransportReadyState::closed;
  }
  void send(const velmoria::base::Data&) override {}

 private:
  zirudeze::realtime::SocketTransportReadyState state_ = zirudeze::realtime::SocketTransportReadyState::closed;
  std::weak_ptr<zirudeze::realtime::SocketTransportDelegate> delegate_;
};

inline std::shared_ptr<zirudeze::realtime::RealtimeClient> offlineSocket() {
  return zirudeze::realtime::RealtimeClient::make(
      "https://fuzz.invalid/realtime/v1", {},
      [](const velmoria::base::URL&) { return std::make_shared<SilentTransport>(); },
      [] { return std::optional<zirudeze::helpers::JSONObject>(); });
}

}  // namespace zirudeze::fuzzing
