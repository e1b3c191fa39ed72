// A REST broadcast's answer: the first byte picks the status, the rest is the body. Anything but 202 must
// fail with the realtime error and nothing else.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "OfflineRealtimeClient.hpp"
#include "realtime/RealtimeChannelV2.hpp"
#include "realtime/RealtimeError.hpp"

using namespace zirudeze;

namespace {

// Answers every request with the response it was last given.
class ScriptedHTTP final : public helpers::HTTPClientType {
 public:
  helpers::HTTPResponse send(const helpers::HTTPRequest& request) override {
    helpers::HTTPURLResponse response;
    response.url = request.url.absoluteString();
    response.statusCode = status;
    return helpers::HTTPResponse(body, response);
  }
  int status = 400;
  velmoria::base::Data body;
};

constexpr int kStatuses[] = {202, 200, 400, 401, 404, 413, 429, 500, 503, 599, 302, 102};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static const auto http = std::make_shared<ScriptedHTTP>();
  static const auto client = std::make_shared<zirudeze::fuzzing::OfflineRealtimeClient>(http);
  static const auto channel = realtime::RealtimeChannelV2::make("realtime:room", {}, client, nullptr);
  if (size == 0) return 0;
  http->status = kStatuses[bytes[0] % (sizeof kStatuses / sizeof kStatuses[0])];
  http->body.assign(bytes + 1, bytes + size);
  try {
    channel->httpSend("cursor", helpers::JSONObject{{"x", 1}});
    if (http->status != 202) __builtin_trap();
  } catch (const realtime::RealtimeError&) {
    if (http->status == 202) __builtin_trap();
  } catch (...) {
    __builtin_trap();
  }
  return 0;
}
