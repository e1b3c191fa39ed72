#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <variant>

namespace velmoria::filter {

// A remote end given as host and port text, as the flow source reports it.
struct HostEndpoint {
  std::string hostname;
  std::string port;
};

// Any other kind of remote end (a service name, a URL); the filter never inspects these.
struct OtherEndpoint {
  std::string description;
};

using Endpoint = std::variant<HostEndpoint, OtherEndpoint>;

enum class FlowDirection { outbound, inbound };

constexpr int protocolTcp = 6;
constexpr int protocolUdp = 17;

struct FilterFlow {
  // Socket flows carry a protocol and endpoints; browser flows (from a web view) do not concern us.
  enum class Kind { socket, browser };

  Kind kind = Kind::socket;
  std::optional<Endpoint> remoteEndpoint;
  int socketProtocol = 0;
  FlowDirection direction = FlowDirection::outbound;
};

// What to do with a new flow: let it through, drop it, or show the filter some of its bytes first.
struct NewFlowVerdict {
  enum class Kind { allow, drop, filterData };

  Kind kind = Kind::allow;
  bool filterInbound = false;
  std::size_t peekInboundBytes = 0;
  bool filterOutbound = false;
  std::size_t peekOutboundBytes = 0;

  static NewFlowVerdict allow() { return {}; }
  static NewFlowVerdict drop() { return {Kind::drop}; }
  static NewFlowVerdict filterData(bool filterInbound, std::size_t peekInboundBytes, bool filterOutbound,
                                   std::size_t peekOutboundBytes) {
    return {Kind::filterData, filterInbound, peekInboundBytes, filterOutbound, peekOutboundBytes};
  }

  bool operator==(const NewFlowVerdict&) const = default;
};

enum class DataVerdict { allow, drop };

}  // namespace velmoria::filter
