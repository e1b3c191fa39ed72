#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "testsupport/FakeBackend.hpp"
#include "testsupport/RecordedRequest.hpp"

namespace velmoria::testsupport {

// The edge-functions half of the fake backend: "<root>/<name>" on a FakeBackend for every method. A
// function nobody set up answers 200 with the invocation echoed as JSON (see echoOf). Safe to use from any
// thread.
class FakeFunctions {
 public:
  using Json = nlohmann::ordered_json;
  using Headers = std::vector<std::pair<std::string, std::string>>;

  explicit FakeFunctions(FakeBackend& backend, std::string root = "/functions/v1");
  ~FakeFunctions();
  FakeFunctions(const FakeFunctions&) = delete;
  FakeFunctions& operator=(const FakeFunctions&) = delete;

  // The service's URL: the backend's base URL plus the root.
  std::string url() const;

  // Every invocation of `name` gets `status` with `body` and `headers` (an "x-relay-error", say).
  void respond(const std::string& name, unsigned status, std::string body, Headers headers = {});
  // Every invocation of `name` gets `status` with the body sent as `chunks` (chunked transfer coding),
  // waiting `delay` before each one.
  void stream(const std::string& name, std::vector<std::string> chunks, std::chrono::milliseconds delay,
              unsigned status = 200, Headers headers = {});
  // The echo again.
  void echo(const std::string& name);

  // How the streams of `name` ended, in order: true for one sent whole, false for one whose client
  // closed the connection before the last chunk.
  std::vector<bool> streamEnds(const std::string& name) const;
  // Blocks until `count` streams of `name` ended or `timeout` passed; returns whether they did.
  bool waitForStreamEnds(const std::string& name, std::size_t count, std::chrono::milliseconds timeout) const;
  // The invocations of `name` as recorded, in arrival order.
  std::vector<RecordedRequest> invocations(const std::string& name) const;

  // {"name", "method", "headers": {lower-case name: value, repeated values joined with ", "},
  //  "query": [[name, value or null], ...], "body": text, "region": the "x-region" header or null,
  //  "forceFunctionRegion": that query item or null}.
  static Json echoOf(const std::string& name, const RecordedRequest& request);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmoria::testsupport
