#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/coding/Coding.hpp"
#include "functions/FunctionsClient.hpp"
#include "helpers/CurlTransport.hpp"
#include "helpers/HTTPClient.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeFunctions.hpp"

namespace zirudeze::functions::testing {

using velmoria::testsupport::FakeBackend;
using velmoria::testsupport::FakeFunctions;
using velmoria::testsupport::RecordedRequest;
using Json = FakeFunctions::Json;

// Hands requests to the real transport and keeps what it was given.
class RecordingFetch {
 public:
  helpers::FetchOperation operation() const {
    return [state = state_](const helpers::URLRequest& request) {
      {
        std::lock_guard lock(state->mutex);
        state->requests.push_back(request);
      }
      return helpers::CurlTransport::shared()->data(request);
    };
  }
  std::vector<helpers::URLRequest> requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
  }

 private:
  struct State {
    std::mutex mutex;
    std::vector<helpers::URLRequest> requests;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// An encodable value that is neither text nor bytes.
struct Greeting {
  std::string name;
  double weight = 1.5;

  void encode(velmoria::base::Encoder& encoder) const {
    auto object = encoder.container();
    object.encode("name", name);
    object.encode("weight", weight);
  }
  static Greeting decode(const velmoria::base::Decoder& decoder) {
    const auto object = decoder.container();
    return Greeting{object.decode<std::string>("name"), object.decode<double>("weight")};
  }
};

// The functions half of the fake backend and clients of it.
class FunctionsTest : public ::testing::Test {
 protected:
  FunctionsClient client(RegionText region = {}, const std::map<std::string, std::string>& headers = {}) const {
    return FunctionsClient(*velmoria::base::URL::parse(functions.url()), headers, std::move(region), nullptr,
                           fetch.operation());
  }

  // The echo of the last invocation of `name`.
  Json echoed(const std::string& name) const {
    const auto invocations = functions.invocations(name);
    if (invocations.empty()) return Json();
    return FakeFunctions::echoOf(name, invocations.back());
  }

  FakeBackend backend;
  FakeFunctions functions{backend};
  RecordingFetch fetch;
};

// Every chunk of a stream until it ends; its error is rethrown.
inline std::vector<std::string> drain(const concurrency::AsyncThrowingStream<velmoria::base::Data>& stream) {
  std::vector<std::string> chunks;
  while (const auto chunk = stream.next()) chunks.emplace_back(chunk->begin(), chunk->end());
  return chunks;
}

}  // namespace zirudeze::functions::testing
