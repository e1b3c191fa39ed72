#include "velmoria_filter/CaptureReplay.hpp"

#include <memory>

#include <pcap/pcap.h>

#include "velmoria_filter/FlowTracker.hpp"

namespace velmoria::filter {
namespace {

// Collects the tracker's decisions into one line per flow.
class Replayer {
 public:
  explicit Replayer(const WebFilterProvider& provider)
      : tracker_(provider, [this](const FlowDecision& decision) { record(decision); }) {}

  void add(const DecodedPacket& packet) { tracker_.add(packet); }

  ReplayResult finish() {
    tracker_.finish();
    return std::move(result_);
  }

 private:
  void record(const FlowDecision& decision) {
    if (!decision.judged) {
      ReplayedFlow flow;
      flow.protocol = decision.key.protocol;
      flow.destination = decision.key.destination;
      flow.destinationPort = decision.key.destinationPort;
      flow.verdict = decision.verdict;
      result_.flows.push_back(std::move(flow));
      return;
    }
    auto& flow = result_.flows[decision.index];
    flow.inspected = true;
    flow.serverName = decision.serverName;
    flow.verdict = decision.verdict;
  }

  FlowTracker tracker_;
  ReplayResult result_;
};

struct PcapCloser {
  void operator()(pcap_t* handle) const { pcap_close(handle); }
};
using PcapHandle = std::unique_ptr<pcap_t, PcapCloser>;

ReplayResult replay(PcapHandle handle, const WebFilterProvider& provider) {
  const int linkType = pcap_datalink(handle.get());
  Replayer replayer(provider);
  std::optional<std::string> readError;
  for (;;) {
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    const int status = pcap_next_ex(handle.get(), &header, &data);
    if (status == PCAP_ERROR_BREAK) break;
    if (status != 1) {
      readError = pcap_geterr(handle.get());
      break;
    }
    const auto packet = decodePacket(linkType, std::span<const std::uint8_t>(data, header->caplen));
    if (packet) replayer.add(*packet);
  }
  auto result = replayer.finish();
  result.readError = std::move(readError);
  return result;
}

}  // namespace

ReplayResult replayCapture(const std::filesystem::path& capture, const WebFilterProvider& provider) {
  char error[PCAP_ERRBUF_SIZE] = {};
  PcapHandle handle(pcap_open_offline(capture.c_str(), error));
  if (!handle) throw CaptureError(error);
  return replay(std::move(handle), provider);
}

ReplayResult replayCapture(std::FILE* capture, const WebFilterProvider& provider) {
  char error[PCAP_ERRBUF_SIZE] = {};
  PcapHandle handle(pcap_fopen_offline(capture, error));
  if (!handle) {
    std::fclose(capture);
    throw CaptureError(error);
  }
  return replay(std::move(handle), provider);
}

std::string formatReplayLine(const ReplayedFlow& flow) {
  FlowKey key;
  key.protocol = flow.protocol;
  key.destination = flow.destination;
  key.destinationPort = flow.destinationPort;
  return formatFlowLine(key, flow.verdict, flow.serverName);
}

}  // namespace velmoria::filter
