// A packet capture from anywhere, replayed through the provider: libpcap's file reading, our frame
// decoding, stream assembly and the verdicts must never misbehave.
#include <cstdio>

#include "velmoria_filter/CaptureReplay.hpp"

namespace {

const velmoria::filter::WebFilterProvider& provider() {
  static velmoria::filter::WebFilterProvider instance(std::make_shared<velmoria::filter::NullFilterLog>());
  static const bool started = [] {
    instance.startFilter(
        velmoria::filter::ProviderConfiguration{nlohmann::json{{"mac.blockedDomains", {"blocked.example"}}}}, {});
    return true;
  }();
  (void)started;
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::FILE* capture = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (capture == nullptr) return 0;
  try {
    const auto result = velmoria::filter::replayCapture(capture, provider());
    for (const auto& flow : result.flows) (void)velmoria::filter::formatReplayLine(flow);
  } catch (const velmoria::filter::CaptureError&) {
  }
  return 0;
}
