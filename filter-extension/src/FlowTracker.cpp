#include "velmoria_filter/FlowTracker.hpp"

#include <utility>

#include "velmoria_filter/ServerNameReader.hpp"
#include "velmoria_filter/TcpStreamAssembler.hpp"

namespace velmoria::filter {
namespace {

constexpr std::uint16_t httpsPort = 443;
constexpr std::uint8_t recordTypeHandshake = 22;
constexpr std::size_t recordHeaderLength = 5;

}  // namespace

struct FlowTracker::State {
  std::size_t index = 0;
  FilterFlow flow;
  std::optional<std::uint32_t> synSequence;
  std::unique_ptr<TcpStreamAssembler> assembler;  // while the provider waits for the first bytes
  Clock::time_point opened;
  Clock::time_point lastSeen;
  std::optional<Clock::time_point> closedAt;
};

bool firstRecordComplete(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return false;
  if (bytes[0] != recordTypeHandshake) return true;
  if (bytes.size() < recordHeaderLength) return false;
  const std::size_t length = (static_cast<std::size_t>(bytes[3]) << 8) | bytes[4];
  return bytes.size() >= recordHeaderLength + length;
}

FlowTracker::FlowTracker(const WebFilterProvider& provider, Handler handler)
    : FlowTracker(provider, std::move(handler), Limits{}) {}

FlowTracker::FlowTracker(const WebFilterProvider& provider, Handler handler, Limits limits)
    : provider_(provider), handler_(std::move(handler)), limits_(limits) {}

FlowTracker::~FlowTracker() = default;

std::size_t FlowTracker::size() const { return flows_.size(); }

void FlowTracker::add(const DecodedPacket& packet, Clock::time_point now) {
  const FlowKey key{packet.protocol, packet.source, packet.sourcePort, packet.destination, packet.destinationPort};
  if (packet.protocol == protocolTcp) {
    addTcp(key, packet, now);
  } else if (packet.protocol == protocolUdp) {
    if (const auto found = flows_.find(key); found != flows_.end()) {
      found->second.lastSeen = now;
      return;
    }
    if (flows_.contains(key.reversed()) || packet.destinationPort != httpsPort) return;
    open(key, packet, now);
  }
}

void FlowTracker::addTcp(const FlowKey& key, const DecodedPacket& packet, Clock::time_point now) {
  auto found = flows_.find(key);
  if (packet.syn && !packet.ack) {
    if (found != flows_.end()) {
      if (found->second.synSequence == packet.sequence) return;  // a retransmitted SYN
      judge(key, found->second);                                 // the ports were reused by a new connection
      flows_.erase(found);
    }
    auto& state = open(key, packet, now)->second;
    state.synSequence = packet.sequence;
    if (state.assembler) state.assembler->setFirstSequence(packet.sequence + 1);
    return;
  }
  if (found == flows_.end()) {
    if (flows_.contains(key.reversed()) || packet.destinationPort != httpsPort) return;
    found = open(key, packet, now);
  }
  auto& state = found->second;
  state.lastSeen = now;
  if (state.assembler) {
    state.assembler->addSegment(packet.sequence, packet.payload);
    if (state.assembler->isFull() || firstRecordComplete(state.assembler->contiguousBytes()) || packet.fin ||
        packet.rst) {
      judge(key, state);
    }
  }
  if ((packet.fin || packet.rst) && !state.closedAt) state.closedAt = now;
}

std::map<FlowKey, FlowTracker::State>::iterator FlowTracker::open(const FlowKey& key, const DecodedPacket& packet,
                                                                  Clock::time_point now) {
  if (flows_.size() >= limits_.maxFlows) makeRoom(now);
  State state;
  state.index = opened_++;
  state.opened = state.lastSeen = now;
  state.flow.kind = FilterFlow::Kind::socket;
  state.flow.socketProtocol = packet.protocol;
  state.flow.direction = FlowDirection::outbound;
  state.flow.remoteEndpoint = HostEndpoint{packet.destination.text(), std::to_string(packet.destinationPort)};

  const auto verdict = provider_.handleNewFlow(state.flow);
  FlowDecision decision;
  decision.index = state.index;
  decision.key = key;
  decision.verdict = verdict.kind == NewFlowVerdict::Kind::drop ? DataVerdict::drop : DataVerdict::allow;
  if (verdict.kind == NewFlowVerdict::Kind::filterData && verdict.filterOutbound && packet.protocol == protocolTcp) {
    state.assembler = std::make_unique<TcpStreamAssembler>(verdict.peekOutboundBytes);
    decision.awaitingData = true;
  }
  const auto inserted = flows_.insert_or_assign(key, std::move(state)).first;
  handler_(decision);
  return inserted;
}

void FlowTracker::judge(const FlowKey& key, State& state) {
  if (!state.assembler) return;
  const auto bytes = state.assembler->contiguousBytes();
  FlowDecision decision;
  decision.index = state.index;
  decision.key = key;
  decision.judged = true;
  decision.serverName = extractServerName(bytes);
  decision.verdict = provider_.handleOutboundData(state.flow, 0, bytes);
  state.assembler.reset();
  handler_(decision);
}

void FlowTracker::finish() {
  for (auto& [key, state] : flows_) judge(key, state);
}

void FlowTracker::expire(Clock::time_point now) {
  for (auto it = flows_.begin(); it != flows_.end();) {
    auto& state = it->second;
    if (state.assembler && now - state.opened >= limits_.peekWait) judge(it->first, state);
    const bool ended = state.closedAt && now - *state.closedAt >= limits_.closedLinger;
    if (ended || now - state.lastSeen >= limits_.idle) {
      judge(it->first, state);
      it = flows_.erase(it);
    } else {
      ++it;
    }
  }
}

void FlowTracker::makeRoom(Clock::time_point now) {
  expire(now);
  if (flows_.size() < limits_.maxFlows) return;
  // Flows already judged need nothing more; forgetting one only means its later packets would be
  // looked at as a flow whose start was missed, which the provider allows.
  std::erase_if(flows_, [](const auto& entry) { return !entry.second.assembler; });
  if (flows_.size() < limits_.maxFlows) return;
  finish();
  flows_.clear();
}

void FlowTracker::clear() { flows_.clear(); }

std::string formatFlowLine(const FlowKey& key, DataVerdict verdict, const std::optional<std::string>& serverName) {
  std::string line = verdict == DataVerdict::drop ? "drop" : "allow";
  line += key.protocol == protocolUdp ? " udp " : " tcp ";
  line += key.destination.text() + ":" + std::to_string(key.destinationPort) + " ";
  if (!serverName) return line + "-";
  if (serverName->empty()) return line + "\"\"";
  static constexpr char hex[] = "0123456789abcdef";
  for (const char c : *serverName) {
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
