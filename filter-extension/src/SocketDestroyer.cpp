#include "velmoria_filter/SocketDestroyer.hpp"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "velmoria_filter/FlowEnforcer.hpp"

namespace velmoria::filter {
namespace {

std::string errorText(int error) { return std::system_category().message(error); }

}  // namespace

SocketDestroyer::SocketDestroyer() : fd_(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)) {
  if (fd_ < 0) throw EnforcementError("socket diagnostics unavailable: " + errorText(errno));
  // A reply that never comes must not hang the caller.
  const timeval timeout{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
}

SocketDestroyer::~SocketDestroyer() {
  if (fd_ >= 0) ::close(fd_);
}

bool SocketDestroyer::destroy(const FlowKey& flow) {
  struct Request {
    nlmsghdr header;
    inet_diag_req_v2 body;
  } request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = SOCK_DESTROY;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK;
  request.header.nlmsg_seq = ++sequence_;
  const bool v6 = flow.source.version == 6;
  request.body.sdiag_family = v6 ? AF_INET6 : AF_INET;
  request.body.sdiag_protocol = static_cast<std::uint8_t>(flow.protocol);
  request.body.idiag_states = ~0U;
  request.body.id.idiag_sport = htons(flow.sourcePort);
  request.body.id.idiag_dport = htons(flow.destinationPort);
  std::memcpy(request.body.id.idiag_src, flow.source.bytes.data(), v6 ? 16 : 4);
  std::memcpy(request.body.id.idiag_dst, flow.destination.bytes.data(), v6 ? 16 : 4);
  request.body.id.idiag_cookie[0] = request.body.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(fd_, &request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) < 0) {
    throw EnforcementError("socket destruction failed: " + errorText(errno));
  }
  alignas(nlmsghdr) std::array<char, 512> reply{};
  for (;;) {
    auto length = static_cast<int>(::recv(fd_, reply.data(), reply.size(), 0));
    if (length < 0) {
      if (errno == EINTR) continue;
      throw EnforcementError("socket destruction failed: " + errorText(errno));
    }
    for (auto* header = reinterpret_cast<nlmsghdr*>(reply.data()); NLMSG_OK(header, static_cast<unsigned>(length));
         header = NLMSG_NEXT(header, length)) {
      if (header->nlmsg_seq != sequence_ || header->nlmsg_type != NLMSG_ERROR) continue;
      const auto* answer = static_cast<const nlmsgerr*>(NLMSG_DATA(header));
      if (answer->error == 0) return true;
      if (answer->error == -ENOENT) return false;
      throw EnforcementError("socket destruction failed: " + errorText(-answer->error));
    }
  }
}

}  // namespace velmoria::filter
