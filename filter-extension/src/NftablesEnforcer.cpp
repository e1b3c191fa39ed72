#include <arpa/inet.h>

#include <optional>

#include <nftables/libnftables.h>

#include "velmoria_filter/FlowEnforcer.hpp"
#include "velmoria_filter/SocketDestroyer.hpp"

namespace velmoria::filter {
namespace {

// Sets are named by protocol and address family; both directions of a flow look up the same entry,
// written local end first.
std::string setName(const FlowKey& flow) {
  return std::string(flow.protocol == protocolUdp ? "udp" : "tcp") + (flow.source.version == 6 ? "6" : "4");
}

std::string address(const IpAddress& ip) {
  char text[INET6_ADDRSTRLEN] = {};
  ::inet_ntop(ip.version == 6 ? AF_INET6 : AF_INET, ip.bytes.data(), text, sizeof text);
  return text;
}

std::string tableRef() { return std::string(NftablesEnforcer::family) + " " + NftablesEnforcer::table; }

// Creating the table first makes the delete succeed whether or not an earlier run left one.
std::string removeTable() { return "table " + tableRef() + "\ndelete table " + tableRef() + "\n"; }

std::string freshTable(std::chrono::seconds timeout) {
  const auto set = [&](const char* name, const char* addressType) {
    return std::string("  set ") + name + " { type " + addressType + " . inet_service . " + addressType +
           " . inet_service; flags timeout; timeout " + std::to_string(timeout.count()) + "s; }\n";
  };
  return removeTable() + "table " + tableRef() + " {\n" + set("tcp4", "ipv4_addr") + set("tcp6", "ipv6_addr") +
         set("udp4", "ipv4_addr") + set("udp6", "ipv6_addr") +
         "  chain output {\n"
         "    type filter hook output priority filter; policy accept;\n"
         // The reset a destroyed socket sends goes out, so the server lets go of the connection too.
         "    tcp flags & rst == rst accept\n"
         "    ip saddr . tcp sport . ip daddr . tcp dport @tcp4 reject with tcp reset\n"
         "    ip6 saddr . tcp sport . ip6 daddr . tcp dport @tcp6 reject with tcp reset\n"
         "    ip saddr . udp sport . ip daddr . udp dport @udp4 reject with icmpx port-unreachable\n"
         "    ip6 saddr . udp sport . ip6 daddr . udp dport @udp6 reject with icmpx port-unreachable\n"
         "  }\n"
         "  chain input {\n"
         "    type filter hook input priority filter; policy accept;\n"
         // The output chain's reset comes back in here: dropped, a new connect that reuses a blocked
         // flow's ports would resend its SYN until it timed out instead of failing at once.
         "    tcp flags & rst == rst accept\n"
         "    ip daddr . tcp dport . ip saddr . tcp sport @tcp4 drop\n"
         "    ip6 daddr . tcp dport . ip6 saddr . tcp sport @tcp6 drop\n"
         "    ip daddr . udp dport . ip saddr . udp sport @udp4 drop\n"
         "    ip6 daddr . udp dport . ip6 saddr . udp sport @udp6 drop\n"
         "  }\n"
         "}\n";
}

}  // namespace

struct NftablesEnforcer::Context {
  struct Free {
    void operator()(nft_ctx* context) const { nft_ctx_free(context); }
  };
  std::unique_ptr<nft_ctx, Free> nft{nft_ctx_new(NFT_CTX_DEFAULT)};
  std::optional<SocketDestroyer> sockets;
};

NftablesEnforcer::NftablesEnforcer(std::chrono::seconds entryTimeout)
    : context_(std::make_unique<Context>()), entryTimeout_(entryTimeout) {
  if (!context_->nft) throw EnforcementError("nftables unavailable");
  nft_ctx_buffer_output(context_->nft.get());
  nft_ctx_buffer_error(context_->nft.get());
}

NftablesEnforcer::~NftablesEnforcer() = default;

void NftablesEnforcer::run(const std::string& commands) {
  if (nft_run_cmd_from_buffer(context_->nft.get(), commands.c_str()) != 0) {
    std::string message = nft_ctx_get_error_buffer(context_->nft.get());
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    throw EnforcementError("nftables refused the rules: " + message);
  }
}

void NftablesEnforcer::start() {
  run(freshTable(entryTimeout_));
  if (!context_->sockets) context_->sockets.emplace();
}

void NftablesEnforcer::stop() { run(removeTable()); }

void NftablesEnforcer::drop(const FlowKey& flow) {
  run("add element " + tableRef() + " " + setName(flow) + " { " + address(flow.source) + " . " +
      std::to_string(flow.sourcePort) + " . " + address(flow.destination) + " . " +
      std::to_string(flow.destinationPort) + " }\n");
  if (flow.protocol == protocolTcp && context_->sockets) context_->sockets->destroy(flow);
}

}  // namespace velmoria::filter
