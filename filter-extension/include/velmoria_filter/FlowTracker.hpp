#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "velmoria_filter/PacketDecoder.hpp"
#include "velmoria_filter/WebFilterProvider.hpp"

namespace velmoria::filter {

// One direction of a connection as the outbound packets show it: source is this machine.
struct FlowKey {
  int protocol = protocolTcp;
  IpAddress source;
  std::uint16_t sourcePort = 0;
  IpAddress destination;
  std::uint16_t destinationPort = 0;

  auto operator<=>(const FlowKey&) const = default;
  FlowKey reversed() const { return {protocol, destination, destinationPort, source, sourcePort}; }
};

// What the provider said about a flow: once when the flow is new and, for a flow it peeks at, again
// once it has seen the first outbound bytes.
struct FlowDecision {
  std::size_t index = 0;  // flows are numbered in the order their first packet was seen
  FlowKey key;
  DataVerdict verdict = DataVerdict::allow;
  bool judged = false;                    // the verdict on the peeked bytes; false: the new-flow verdict
  bool awaitingData = false;              // a new flow the provider waits to see bytes of
  std::optional<std::string> serverName;  // read from the peeked bytes
};

// Plays the system's part between packets and the provider: each outbound TCP flow (one seen opening
// with a SYN, or one to port 443 whose start was missed) and each UDP flow to port 443 gets the
// new-flow verdict; a flow the provider asks to peek at has its first outbound bytes put back in order
// and is judged on them as soon as its first TLS record is complete, the peek size is reached, the
// flow ends, or it waited too long.
class FlowTracker {
 public:
  using Clock = std::chrono::steady_clock;
  using Handler = std::function<void(const FlowDecision&)>;

  struct Limits {
    Clock::duration peekWait = std::chrono::seconds(5);  // then judged on what arrived
    Clock::duration idle = std::chrono::minutes(2);      // a flow not seen this long is forgotten
    Clock::duration closedLinger = std::chrono::seconds(10);
    std::size_t maxFlows = std::size_t{1} << 18;
  };

  FlowTracker(const WebFilterProvider& provider, Handler handler);
  FlowTracker(const WebFilterProvider& provider, Handler handler, Limits limits);
  ~FlowTracker();
  FlowTracker(const FlowTracker&) = delete;
  FlowTracker& operator=(const FlowTracker&) = delete;

  void add(const DecodedPacket& packet, Clock::time_point now = {});
  // Judges every flow still waiting for bytes on what it has (the end of a capture).
  void finish();
  // Judges flows that waited longer than peekWait, and forgets idle and ended flows.
  void expire(Clock::time_point now);
  // Forgets every flow without judging it.
  void clear();

  std::size_t size() const;

 private:
  struct State;
  void addTcp(const FlowKey& key, const DecodedPacket& packet, Clock::time_point now);
  std::map<FlowKey, State>::iterator open(const FlowKey& key, const DecodedPacket& packet, Clock::time_point now);
  void judge(const FlowKey& key, State& state);
  void makeRoom(Clock::time_point now);

  const WebFilterProvider& provider_;
  Handler handler_;
  Limits limits_;
  std::map<FlowKey, State> flows_;
  std::size_t opened_ = 0;
};

// True once `bytes` hold a complete first TLS record, or cannot be the start of one: a flow's
// peek needs nothing more after that.
bool firstRecordComplete(std::span<const std::uint8_t> bytes);

// "drop tcp 93.184.216.34:443 example.com": verdict, destination, server name ("-" when none was
// read). Bytes outside printable ASCII in the name are written as \xNN.
std::string formatFlowLine(const FlowKey& key, DataVerdict verdict, const std::optional<std::string>& serverName);

}  // namespace velmoria::filter
