#include "Connector.hpp"

#include <optional>
#include <stdexcept>
#include <string>

#include <boost/asio/ip/address_v4.hpp>

#include "base/ThreadSafety.hpp"
#include "realtime/transport/IoThread.hpp"

namespace zirudeze::realtime::transport {

namespace {

using detail::Endpoint;

Endpoint endpointOf(const velmoria::base::URL& url) {
  const auto scheme = url.scheme();
  if (!scheme || (*scheme != "ws" && *scheme != "wss")) {
    throw std::invalid_argument("not a WebSocket URL: " + url.absoluteString());
  }
  const auto written = url.componentText(velmoria::base::URLComponent::host);
  if (!written || written->empty())
    throw std::invalid_argument("WebSocket URL without a host: " + url.absoluteString());
  Endpoint endpoint;
  endpoint.secure = *scheme == "wss";
  std::string host(*written);
  if (host.front() == '[' && host.back() == ']') {
    endpoint.ipLiteral = true;
    host = host.substr(1, host.size() - 2);
  } else {
    host = url.host().value_or(host);
    boost::system::error_code ec;
    boost::asio::ip::make_address_v4(host, ec);
    endpoint.ipLiteral = !ec;
  }
  endpoint.host = host;
  const int defaultPort = endpoint.secure ? 443 : 80;
  const int port = url.port().value_or(defaultPort);
  endpoint.port = std::to_string(port);
  endpoint.hostField = std::string(*written) + (port == defaultPort ? "" : ":" + endpoint.port);
  endpoint.target = std::string(url.percentEncodedPath());
  if (endpoint.target.empty()) endpoint.target = "/";
  if (const auto query = url.percentEncodedQuery()) endpoint.target += "?" + std::string(*query);
  return endpoint;
}

}  // namespace

}  // namespace zirudeze::realtime::transport

namespace zirudeze::realtime::transport::detail {

bool isCertificateCode(helpers::URLError::Code code) {
  using Code = helpers::URLError::Code;
  return code == Code::serverCertificateHasBadDate || code == Code::serverCertificateUntrusted ||
         code == Code::serverCertificateHasUnknownRoot || code == Code::serverCertificateNotYetValid;
}

}  // namespace zirudeze::realtime::transport::detail

namespace zirudeze::realtime::transport {

std::shared_ptr<PendingConnect> startConnect(HandshakeRequest request, std::function<void(ConnectOutcome)> completion) {
  Endpoint endpoint = endpointOf(request.url);
  if (endpoint.secure) return detail::launchSecure(std::move(request), std::move(endpoint), std::move(completion));
  return detail::launchPlain(std::move(request), std::move(endpoint), std::move(completion));
}

ConnectOutcome connect(HandshakeRequest request, std::stop_token stop) {
  if (onIoThread()) throw std::logic_error("a blocking WebSocket connect cannot run on the I/O thread");
  struct Waiter {
    velmoria::base::Mutex mutex;
    velmoria::base::PlainConditionVariable ready;
    std::optional<ConnectOutcome> outcome VM_GUARDED_BY(mutex);
  };
  auto waiter = std::make_shared<Waiter>();
  auto pending = startConnect(std::move(request), [waiter](ConnectOutcome outcome) {
    {
      const velmoria::base::MutexLock lock(waiter->mutex);
      waiter->outcome.emplace(std::move(outcome));
    }
    waiter->ready.notifyAll();
  });
  const std::stop_callback onStop(stop, [pending] { pending->cancel(); });
  velmoria::base::MutexLock lock(waiter->mutex);
  waiter->ready.wait(lock, [&]() VM_REQUIRES(waiter->mutex) { return waiter->outcome.has_value(); });
  return std::move(*waiter->outcome);
}

}  // namespace zirudeze::realtime::transport
