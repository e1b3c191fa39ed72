#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "testsupport/RecordedRequest.hpp"
#include "testsupport/ScriptedResponse.hpp"

namespace velmoria::testsupport {

using RouteHandler = std::function<ScriptedResponse(const RecordedRequest&)>;

struct ConnectionUpgrade;  // testsupport/ConnectionUpgrade.hpp
// Offered each request that asks to upgrade its connection, after it is recorded. A hook that returns
// true has taken the connection over and served it to its end; false lets the routes answer.
using UpgradeHook = std::function<bool(ConnectionUpgrade&)>;

// An HTTP/1.1 server on 127.0.0.1 with a kernel-chosen port. Tests register routes; every request is
// recorded before its handler runs. One thread per connection, so handlers and delays may block.
class FakeBackend {
 public:
  FakeBackend();
  // On a given port instead; throws boost::system::system_error when it is taken.
  explicit FakeBackend(std::uint16_t port);
  ~FakeBackend();
  FakeBackend(const FakeBackend&) = delete;
  FakeBackend& operator=(const FakeBackend&) = delete;

  std::uint16_t port() const;
  // "http://127.0.0.1:<port>"
  std::string baseURL() const;
  std::string url(const std::string& pathAndQuery) const;

  // `method` "*" matches every method; a `path` ending in "*" matches by prefix. The route registered
  // last wins over earlier ones that match too. Unmatched requests get 404 {"message":"no route"}.
  void route(std::string method, std::string path, RouteHandler handler);
  // Answers successive requests with the given responses; the last one repeats.
  void script(std::string method, std::string path, std::vector<ScriptedResponse> responses);
  void respond(std::string method, std::string path, ScriptedResponse response);
  void setUpgradeHook(UpgradeHook hook);

  std::vector<RecordedRequest> requests() const;
  std::size_t requestCount() const;
  RecordedRequest lastRequest() const;
  void clearRequests();
  // Blocks until at least `count` requests arrived or `timeout` passed; returns whether they did.
  bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  // Number of TCP connections accepted so far.
  int connectionCount() const;
  // Request bodies above this size (64 MiB unless set) are refused by closing the connection.
  void setMaxBodySize(std::uint64_t bytes);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmoria::testsupport
