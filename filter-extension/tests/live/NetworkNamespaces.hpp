#pragma once

#include <optional>
#include <string>

// Two private network namespaces joined by a veth pair, so nothing outside a test sees its rules:
// the client (where the filter runs) and the servers. Loopback-range addresses keep clear of every
// real network; the client's traffic leaves through an interface as it does on a real machine.
namespace velmoria::filter::live {

class NamespacePair {
 public:
  static constexpr const char* clientV4 = "127.30.0.1";
  static constexpr const char* serverV4 = "127.30.0.2";
  static constexpr const char* clientV6 = "fd00:7665:6c6d::1";
  static constexpr const char* serverV6 = "fd00:7665:6c6d::2";

  // Nothing, with the reason in `whyNot`, where this machine offers no namespaces (not root, no
  // `ip netns`, no veth).
  static std::optional<NamespacePair> make(std::string& whyNot);

  NamespacePair(NamespacePair&& other) noexcept;
  NamespacePair& operator=(NamespacePair&&) = delete;
  ~NamespacePair();

  const std::string& client() const { return client_; }
  const std::string& server() const { return server_; }

 private:
  NamespacePair(std::string client, std::string server) : client_(std::move(client)), server_(std::move(server)) {}
  std::string client_;
  std::string server_;
};

// Moves the calling thread into the named namespace; sockets it opens afterwards live there.
void enterNamespace(const std::string& name);

}  // namespace velmoria::filter::live
