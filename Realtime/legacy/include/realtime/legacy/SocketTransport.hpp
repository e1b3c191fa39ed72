#pragma once

#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "base/Data.hpp"
#include "helpers/URLResponse.hpp"

namespace zirudeze::realtime {

enum class SocketTransportReadyState { connecting, open, closing, closed };

// What a legacy transport reports to its owner.
class SocketTransportDelegate {
 public:
  virtual ~SocketTransportDelegate() = default;
  // `response` is the 101 upgrade reply.
  virtual void onOpen(const std::optional<helpers::HTTPURLResponse>& response) = 0;
  // `response` is the server's reply when it refused the upgrade.
  virtual void onError(const std::exception_ptr& error, const std::optional<helpers::HTTPURLResponse>& response) = 0;
  virtual void onMessage(const std::string& message) = 0;
  virtual void onClose(int code, const std::optional<std::string>& reason) = 0;
};

// The connection layer of the legacy socket client: one transport per connection attempt.
class SocketTransport {
 public:
  virtual ~SocketTransport() = default;

  virtual SocketTransportReadyState readyState() const = 0;
  // The delegate is held weakly (its owner owns the transport); reports to a gone delegate reach nobody.
  virtual std::shared_ptr<SocketTransportDelegate> delegate() const = 0;
  virtual void setDelegate(std::weak_ptr<SocketTransportDelegate> delegate) = 0;

  virtual void connect(const std::map<std::string, std::string>& headers) = 0;
  virtual void disconnect(int code, const std::optional<std::string>& reason) = 0;
  virtual void send(const velmoria::base::Data& data) = 0;
};

}  // namespace zirudeze::realtime
