#include "testsupport/FakeFunctions.hpp"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>

#include "testsupport/ScriptedResponse.hpp"

namespace velmoria::testsupport {
namespace {

std::string lowerCased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

struct FakeFunctions::State {
  std::string root;
  std::string baseURL;

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  // Absent for the echo.
  std::map<std::string, ScriptedResponse> behaviours;
  std::map<std::string, std::vector<RecordedRequest>> invocations;
  std::map<std::string, std::vector<bool>> streamEnds;

  std::optional<std::string> nameOf(const RecordedRequest& request) const {
    const std::string prefix = root + "/";
    if (request.path.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    std::string name = request.path.substr(prefix.size());
    if (name.empty()) return std::nullopt;
    return name;
  }

  ScriptedResponse answer(const std::shared_ptr<State>& self, const RecordedRequest& request) {
    const auto name = nameOf(request);
    if (!name) return ScriptedResponse::json(404, R"({"message":"no function named"})");
    std::unique_lock lock(mutex);
    invocations[*name].push_back(request);
    const auto found = behaviours.find(*name);
    if (found == behaviours.end()) {
      lock.unlock();
      return ScriptedResponse::json(200, echoOf(*name, request).dump());
    }
    ScriptedResponse response = found->second;
    if (!response.chunks.empty()) {
      response.onChunksEnd = [weak = std::weak_ptr<State>(self), name = *name](bool delivered) {
        if (const auto state = weak.lock()) {
          {
            std::lock_guard ended(state->mutex);
            state->streamEnds[name].push_back(delivered);
          }
          state->changed.notify_all();
        }
      };
    }
    return response;
  }
};

FakeFunctions::FakeFunctions(FakeBackend& backend, std::string root) : state_(std::make_shared<State>()) {
  state_->root = std::move(root);
  state_->baseURL = backend.url(state_->root);
  backend.route("*", state_->root + "/*",
                [weak = std::weak_ptr<State>(state_)](const RecordedRequest& request) -> ScriptedResponse {
                  const auto state = weak.lock();
                  if (!state) return ScriptedResponse::json(503, R"({"message":"functions gone"})");
                  return state->answer(state, request);
                });
}

FakeFunctions::~FakeFunctions() = default;

std::string FakeFunctions::url() const { return state_->baseURL; }

void FakeFunctions::respond(const std::string& name, unsigned status, std::string body, Headers headers) {
  ScriptedResponse response;
  response.status = status;
  response.headers = std::move(headers);
  response.body = std::move(body);
  std::lock_guard lock(state_->mutex);
  state_->behaviours[name] = std::move(response);
}

void FakeFunctions::stream(const std::string& name, std::vector<std::string> chunks, std::chrono::milliseconds delay,
                           unsigned status, Headers headers) {
  ScriptedResponse response;
  response.status = status;
  response.headers = std::move(headers);
  response.chunks = std::move(chunks);
  response.chunkDelay = delay;
  std::lock_guard lock(state_->mutex);
  state_->behaviours[name] = std::move(response);
}

void FakeFunctions::echo(const std::string& name) {
  std::lock_guard lock(state_->mutex);
  state_->behaviours.erase(name);
}

std::vector<bool> FakeFunctions::streamEnds(const std::string& name) const {
  std::lock_guard lock(state_->mutex);
  const auto found = state_->streamEnds.find(name);
  return found == state_->streamEnds.end() ? std::vector<bool>{} : found->second;
}

bool FakeFunctions::waitForStreamEnds(const std::string& name, std::size_t count,
                                      std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [&] {
    const auto found = state_->streamEnds.find(name);
    return found != state_->streamEnds.end() && found->second.size() >= count;
  });
}

std::vector<RecordedRequest> FakeFunctions::invocations(const std::string& name) const {
  std::lock_guard lock(state_->mutex);
  const auto found = state_->invocations.find(name);
  return found == state_->invocations.end() ? std::vector<RecordedRequest>{} : found->second;
}

FakeFunctions::Json FakeFunctions::echoOf(const std::string& name, const RecordedRequest& request) {
  Json headers = Json::object();
  for (const auto& [field, value] : request.headers) {
    const auto key = lowerCased(field);
    if (headers.contains(key)) {
      headers[key] = headers[key].get<std::string>() + ", " + value;
    } else {
      headers[key] = value;
    }
  }
  Json query = Json::array();
  for (const auto& [item, value] : request.query) {
    query.push_back(Json::array({item, value ? Json(*value) : Json(nullptr)}));
  }
  const auto region = request.header("x-region");
  const auto forced = request.queryValue("forceFunctionRegion");
  return Json{{"name", name},
              {"method", request.method},
              {"headers", std::move(headers)},
              {"query", std::move(query)},
              {"body", request.body},
              {"region", region ? Json(*region) : Json(nullptr)},
              {"forceFunctionRegion", forced ? Json(*forced) : Json(nullptr)}};
}

}  // namespace velmoria::testsupport
