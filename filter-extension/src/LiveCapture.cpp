#include "velmoria_filter/LiveCapture.hpp"

#include <pcap/pcap.h>

#include "velmoria_filter/CaptureReplay.hpp"
#include "velmoria_filter/WebFilterProvider.hpp"

namespace velmoria::filter {
namespace {

// Headers in front of the payload (cooked link header, IPv6 with options, TCP with options) plus the
// most the provider ever peeks at: a longer packet is cut, and the cut part is never looked at.
constexpr int snapshotLength = static_cast<int>(WebFilterProvider::peekOutboundBytes) + 512;
constexpr int bufferBytes = 8 << 20;

}  // namespace

struct LiveCapture::Handle {
  struct Close {
    void operator()(pcap_t* pcap) const { pcap_close(pcap); }
  };
  std::unique_ptr<pcap_t, Close> pcap;
  int linkType = 0;
  int descriptor = -1;
  std::uint64_t received = 0;
  std::uint64_t dropped = 0;
  pcap_stat last{};
};

std::string LiveCapture::filterExpression() {
  return "udp dst port 443 or (tcp dst port 443 and (tcp[tcpflags] & (tcp-syn|tcp-fin|tcp-rst) != 0"
         " or (ip and ip[2:2] - ((ip[0] & 0x0f) << 2) - ((tcp[12] & 0xf0) >> 2) != 0)"
         " or (ip6 and ip6[4:2] - ((tcp[12] & 0xf0) >> 2) != 0)))";
}

LiveCapture::LiveCapture(const std::string& device) : handle_(std::make_unique<Handle>()) {
  char error[PCAP_ERRBUF_SIZE] = {};
  handle_->pcap.reset(pcap_create(device.c_str(), error));
  auto* pcap = handle_->pcap.get();
  if (pcap == nullptr) throw CaptureError(std::string("cannot capture on ") + device + ": " + error);
  pcap_set_snaplen(pcap, snapshotLength);
  pcap_set_buffer_size(pcap, bufferBytes);
  pcap_set_immediate_mode(pcap, 1);
  const auto fail = [&](const std::string& step) {
    throw CaptureError("cannot capture on " + device + " (" + step + "): " + pcap_geterr(pcap));
  };
  if (pcap_activate(pcap) < 0) fail("activate");
  if (pcap_setdirection(pcap, PCAP_D_OUT) != 0) fail("direction");
  bpf_program program{};
  if (pcap_compile(pcap, &program, filterExpression().c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) fail("filter");
  const int filtered = pcap_setfilter(pcap, &program);
  pcap_freecode(&program);
  if (filtered != 0) fail("filter");
  if (pcap_setnonblock(pcap, 1, error) != 0)
    throw CaptureError(std::string("cannot capture on ") + device + ": " + error);
  handle_->linkType = pcap_datalink(pcap);
  handle_->descriptor = pcap_get_selectable_fd(pcap);
  if (handle_->descriptor < 0) fail("descriptor");
}

LiveCapture::~LiveCapture() = default;

int LiveCapture::descriptor() const { return handle_->descriptor; }

std::size_t LiveCapture::dispatch(const Handler& handler) {
  struct Context {
    const Handler* handler;
    int linkType;
    std::size_t count;
  } context{&handler, handle_->linkType, 0};
  const auto callback = [](u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
    auto& ctx = *reinterpret_cast<Context*>(user);
    ++ctx.count;
    const auto packet = decodePacket(ctx.linkType, std::span<const std::uint8_t>(bytes, header->caplen));
    if (!packet) return;
    const auto captured = std::chrono::system_clock::time_point(std::chrono::seconds(header->ts.tv_sec) +
                                                                std::chrono::microseconds(header->ts.tv_usec));
    (*ctx.handler)(*packet, captured);
  };
  // -1: everything that waits in the ring now; the handle does not block.
  if (pcap_dispatch(handle_->pcap.get(), -1, callback, reinterpret_cast<u_char*>(&context)) < 0) {
    throw CaptureError(std::string("capture failed: ") + pcap_geterr(handle_->pcap.get()));
  }
  return context.count;
}

PacketSource::Statistics LiveCapture::statistics() {
  pcap_stat now{};
  if (pcap_stats(handle_->pcap.get(), &now) == 0) {
    // The counters are 32 bits wide and may wrap; add what changed since the last look.
    handle_->received += static_cast<std::uint32_t>(now.ps_recv - handle_->last.ps_recv);
    handle_->dropped += static_cast<std::uint32_t>(now.ps_drop - handle_->last.ps_drop);
    handle_->last = now;
  }
  return {handle_->received, handle_->dropped};
}

}  // namespace velmoria::filter
