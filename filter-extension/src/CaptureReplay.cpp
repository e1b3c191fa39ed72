#include "velmoria_filter/CaptureReplay.hpp"

#include "velmoria_filter/ServerNameReader.hpp"
#include "velmoria_filter/TcpStreamAssembler.hpp"

#include <pcap/pcap.h>

#include <map>
#include <memory>
#include <tuple>

namespace velmoria::filter {
namespace {

struct FlowKey {
  int protocol;
  IpAddress source;
  std::uint16_t sourcePort;
  IpAddress destination;
  std::uint16_t destinationPort;

  auto operator<=>(const FlowKey&) const = default;
  FlowKey reversed() const { return {protocol, destination, destinationPort, source, sourcePort}; }
};

struct FlowState {
  std::size_t index = 0;  // into the result's flows
  FilterFlow flow;
  std::optional<std::uint32_t> synSequence;
  std::unique_ptr<TcpStreamAssembler> assembler;  // while waiting for the peeked bytes
};

class Replayer {
 public:
  explicit Replayer(const WebFilterProvider& provider) : provider_(provider) {}

  void add(const DecodedPacket& packet) {
    FlowKey key{packet.protocol, packet.source, packet.sourcePort, packet.destination, packet.destinationPort};
    if (packet.protocol == protocolTcp) {
      addTcp(key, packet);
    } else if (packet.protocol == protocolUdp) {
      if (flows_.contains(key) || flows_.contains(key.reversed()) || packet.destinationPort != 443) return;
      open(key, packet);
    }
  }

  ReplayResult finish() {
    for (auto& [key, state] : flows_) judge(state);
    return std::move(result_);
  }

 private:
  void addTcp(const FlowKey& key, const DecodedPacket& packet) {
    auto found = flows_.find(key);
    if (packet.syn && !packet.ack) {
      if (found != flows_.end()) {
        if (found->second.synSequence == packet.sequence) return;  // a retransmitted SYN
        judge(found->second);                                      // the ports were reused by a new connection
        flows_.erase(found);
      }
      auto& state = open(key, packet)->second;
      state.synSequence = packet.sequence;
      if (state.assembler) state.assembler->setFirstSequence(packet.sequence + 1);
      return;
    }
    if (found == flows_.end()) {
      if (flows_.contains(key.reversed()) || packet.destinationPort != 443) return;
      found = open(key, packet);
    }
    auto& state = found->second;
    if (state.assembler) {
      state.assembler->addSegment(packet.sequence, packet.payload);
      if (state.assembler->isFull() || packet.fin || packet.rst) judge(state);
    }
  }

  std::map<FlowKey, FlowState>::iterator open(const FlowKey& key, const DecodedPacket& packet) {
    FlowState state;
    state.index = result_.flows.size();
    state.flow.kind = FilterFlow::Kind::socket;
    state.flow.socketProtocol = packet.protocol;
    state.flow.direction = FlowDirection::outbound;
    state.flow.remoteEndpoint = HostEndpoint{packet.destination.text(), std::to_string(packet.destinationPort)};

    ReplayedFlow replayed;
    replayed.protocol = packet.protocol;
    replayed.destination = packet.destination;
    replayed.destinationPort = packet.destinationPort;

    const auto verdict = provider_.handleNewFlow(state.flow);
    replayed.verdict = verdict.kind == NewFlowVerdict::Kind::drop ? DataVerdict::drop : DataVerdict::allow;
    if (verdict.kind == NewFlowVerdict::Kind::filterData && verdict.filterOutbound && packet.protocol == protocolTcp) {
      state.assembler = std::make_unique<TcpStreamAssembler>(verdict.peekOutboundBytes);
    }
    result_.flows.push_back(std::move(replayed));
    return flows_.insert_or_assign(key, std::move(state)).first;
  }

  void judge(FlowState& state) {
    if (!state.assembler) return;
    const auto bytes = state.assembler->contiguousBytes();
    auto& replayed = result_.flows[state.index];
    replayed.inspected = true;
    replayed.serverName = extractServerName(bytes);
    replayed.verdict = provider_.handleOutboundData(state.flow, 0, bytes);
    state.assembler.reset();
  }

  const WebFilterProvider& provider_;
  std::map<FlowKey, FlowState> flows_;
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
  std::string line = flow.verdict == DataVerdict::drop ? "drop" : "allow";
  line += flow.protocol == protocolUdp ? " udp " : " tcp ";
  line += flow.destination.text() + ":" + std::to_string(flow.destinationPort) + " ";
  if (!flow.serverName) return line + "-";
  if (flow.serverName->empty()) return line + "\"\"";
  static constexpr char hex[] = "0123456789abcdef";
  for (const char c : *flow.serverName) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7F && byte != '\\') {
      line += c;
    } else {
      line += "\\x";
      line += hex[byte >> 4];
      line += hex[byte & 0x0F];
    }
  }
  return line;
}

}  // namespace velmoria::filter
