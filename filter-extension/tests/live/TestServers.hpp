#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// Peers in the server namespace: a TLS server that is slow to answer and a UDP sink.
namespace velmoria::filter::live {

// Listens on port 443 of the given addresses. Each connection waits for the client's first bytes,
// then `delay`, before it answers the handshake (so on a fast link the filter's verdict comes first),
// then answers one HTTP request with "ok".
class SlowTlsServer {
 public:
  SlowTlsServer(const std::string& ns, const std::vector<std::string>& addresses, const std::filesystem::path& cert,
                const std::filesystem::path& key, std::chrono::milliseconds delay = std::chrono::milliseconds(300));
  ~SlowTlsServer();
  SlowTlsServer(const SlowTlsServer&) = delete;
  SlowTlsServer& operator=(const SlowTlsServer&) = delete;

  int handshakes() const { return handshakes_; }

 private:
  void serve(int connection);

  struct Tls;
  std::unique_ptr<Tls> tls_;
  std::chrono::milliseconds delay_;
  int stopPipe_[2] = {-1, -1};
  std::atomic<int> handshakes_{0};
  std::thread acceptor_;
  std::vector<std::thread> connections_;
};

// Counts the datagrams that reach UDP port 443 of an address.
class UdpSink {
 public:
  UdpSink(const std::string& ns, const std::string& address, unsigned short port = 443);
  ~UdpSink();
  UdpSink(const UdpSink&) = delete;
  UdpSink& operator=(const UdpSink&) = delete;

  int received() const { return received_; }

 private:
  int stopPipe_[2] = {-1, -1};
  std::atomic<int> received_{0};
  std::thread reader_;
};

// Opens a socket of the given type to address:port from inside a namespace (a thread of its own
// enters it); the socket stays in that namespace.
int socketIn(const std::string& ns, int type, const std::string& address, unsigned short port);

}  // namespace velmoria::filter::live
