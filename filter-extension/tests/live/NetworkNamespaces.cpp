#include "NetworkNamespaces.hpp"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "Command.hpp"

namespace velmoria::filter::live {
namespace {

std::atomic<int> made{0};

bool step(const std::vector<std::string>& argv, std::string& whyNot) {
  const auto result = runCommand(argv);
  if (result.status == 0) return true;
  std::string command;
  for (const auto& argument : argv) command += (command.empty() ? "" : " ") + argument;
  whyNot = "`" + command + "` failed: " + result.output;
  while (!whyNot.empty() && whyNot.back() == '\n') whyNot.pop_back();
  return false;
}

}  // namespace

std::optional<NamespacePair> NamespacePair::make(std::string& whyNot) {
  if (::geteuid() != 0) {
    whyNot = "needs root for network namespaces";
    return std::nullopt;
  }
  const auto tag = std::to_string(::getpid()) + "-" + std::to_string(made++);
  NamespacePair pair("vlm-c-" + tag, "vlm-s-" + tag);
  const std::string clientLink = "vlmc" + tag;
  const std::string serverLink = "vlms" + tag;
  const auto& c = pair.client_;
  const auto& s = pair.server_;
  const std::vector<std::vector<std::string>> steps{
      {"ip", "netns", "add", c},
      {"ip", "netns", "add", s},
      {"ip", "link", "add", clientLink, "netns", c, "type", "veth", "peer", "name", serverLink, "netns", s},
      {"ip", "netns", "exec", c, "sysctl", "-qw", "net.ipv4.conf.all.route_localnet=1"},
      {"ip", "netns", "exec", s, "sysctl", "-qw", "net.ipv4.conf.all.route_localnet=1"},
      {"ip", "netns", "exec", c, "sysctl", "-qw", "net.ipv4.conf." + clientLink + ".route_localnet=1"},
      {"ip", "netns", "exec", s, "sysctl", "-qw", "net.ipv4.conf." + serverLink + ".route_localnet=1"},
      // Loopback keeps only 127.0.0.1 itself, so the rest of 127/8 is routed over the veth pair.
      {"ip", "-n", c, "link", "set", "lo", "up"},
      {"ip", "-n", s, "link", "set", "lo", "up"},
      {"ip", "-n", c, "addr", "del", "127.0.0.1/8", "dev", "lo"},
      {"ip", "-n", s, "addr", "del", "127.0.0.1/8", "dev", "lo"},
      {"ip", "-n", c, "addr", "add", "127.0.0.1/32", "dev", "lo"},
      {"ip", "-n", s, "addr", "add", "127.0.0.1/32", "dev", "lo"},
      {"ip", "-n", c, "addr", "add", std::string(clientV4) + "/24", "dev", clientLink},
      {"ip", "-n", s, "addr", "add", std::string(serverV4) + "/24", "dev", serverLink},
      {"ip", "-n", c, "addr", "add", std::string(clientV6) + "/64", "dev", clientLink, "nodad"},
      {"ip", "-n", s, "addr", "add", std::string(serverV6) + "/64", "dev", serverLink, "nodad"},
      // No duplicate-address wait for the link-local addresses the links get when they come up: its end,
      // a second later, is a change of the network that a browser started meanwhile fails its load on.
      {"ip", "netns", "exec", c, "sysctl", "-qw", "net.ipv6.conf." + clientLink + ".accept_dad=0"},
      {"ip", "netns", "exec", s, "sysctl", "-qw", "net.ipv6.conf." + serverLink + ".accept_dad=0"},
      {"ip", "-n", c, "link", "set", clientLink, "up"},
      {"ip", "-n", s, "link", "set", serverLink, "up"},
  };
  for (const auto& argv : steps) {
    if (!step(argv, whyNot)) return std::nullopt;
  }
  return pair;
}

NamespacePair::NamespacePair(NamespacePair&& other) noexcept
    : client_(std::move(other.client_)), server_(std::move(other.server_)) {
  other.client_.clear();
  other.server_.clear();
}

NamespacePair::~NamespacePair() {
  // Removing a namespace removes its end of the veth pair and with it the other end.
  for (const auto* name : {&client_, &server_}) {
    if (!name->empty()) runCommand({"ip", "netns", "del", *name});
  }
}

void enterNamespace(const std::string& name) {
  const int fd = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("no namespace " + name);
  const int entered = ::setns(fd, CLONE_NEWNET);
  ::close(fd);
  if (entered != 0) throw std::runtime_error("cannot enter namespace " + name);
}

}  // namespace velmoria::filter::live
