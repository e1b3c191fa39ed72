#include "TestServers.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstring>
#include <future>
#include <stdexcept>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include "NetworkNamespaces.hpp"

namespace velmoria::filter::live {
namespace {

// The socket address of a numeric IPv4 or IPv6 address.
sockaddr_storage socketAddress(const std::string& address, unsigned short port, socklen_t& length) {
  sockaddr_storage storage{};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
  if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    length = sizeof *v4;
  } else if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    length = sizeof *v6;
  } else {
    throw std::runtime_error("not an address: " + address);
  }
  return storage;
}

int bound(int type, const std::string& address, unsigned short port) {
  socklen_t length = 0;
  const auto storage = socketAddress(address, port, length);
  const int fd = ::socket(storage.ss_family, type | SOCK_CLOEXEC, 0);
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (storage.ss_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot bind " + address + ": " + std::strerror(errno));
  }
  return fd;
}

// Runs `work` on a thread inside the namespace and waits for what it returns.
template <typename Work>
auto inNamespace(const std::string& ns, Work work) {
  return std::async(std::launch::async,
                    [&] {
                      enterNamespace(ns);
                      return work();
                    })
      .get();
}

}  // namespace

struct SlowTlsServer::Tls {
  struct Free {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
  };
  std::unique_ptr<SSL_CTX, Free> context{SSL_CTX_new(TLS_server_method())};
  std::vector<int> listeners;
};

SlowTlsServer::SlowTlsServer(const std::string& ns, const std::vector<std::string>& addresses,
                             const std::filesystem::path& cert, const std::filesystem::path& key,
                             std::chrono::milliseconds delay)
    : tls_(std::make_unique<Tls>()), delay_(delay) {
  // A client the filter cut leaves the handshake's writes with a closed peer: that is EPIPE for this
  // server, not a signal that ends the whole test program.
  std::signal(SIGPIPE, SIG_IGN);
  if (SSL_CTX_use_certificate_chain_file(tls_->context.get(), cert.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(tls_->context.get(), key.c_str(), SSL_FILETYPE_PEM) != 1) {
    throw std::runtime_error("cannot load the test certificate");
  }
  tls_->listeners = inNamespace(ns, [&] {
    std::vector<int> fds;
    for (const auto& address : addresses) {
      fds.push_back(bound(SOCK_STREAM, address, 443));
      ::listen(fds.back(), 64);
    }
    return fds;
  });
  static_cast<void>(::pipe2(stopPipe_, O_CLOEXEC));
  acceptor_ = std::thread([this] {
    std::vector<pollfd> fds{{stopPipe_[0], POLLIN, 0}};
    for (const int listener : tls_->listeners) fds.push_back({listener, POLLIN, 0});
    while (::poll(fds.data(), fds.size(), -1) >= 0 && !(fds[0].revents & POLLIN)) {
      for (std::size_t i = 1; i < fds.size(); ++i) {
        if (!(fds[i].revents & POLLIN)) continue;
        const int connection = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) connections_.emplace_back([this, connection] { serve(connection); });
      }
    }
  });
}

SlowTlsServer::~SlowTlsServer() {
  static_cast<void>(::write(stopPipe_[1], "x", 1));
  acceptor_.join();
  for (auto& connection : connections_) connection.join();
  for (const int listener : tls_->listeners) ::close(listener);
  ::close(stopPipe_[0]);
  ::close(stopPipe_[1]);
}

void SlowTlsServer::serve(int connection) {
  const timeval timeout{3, 0};
  ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  pollfd first{connection, POLLIN, 0};
  if (::poll(&first, 1, 3000) == 1) {
    std::this_thread::sleep_for(delay_);
    SSL* ssl = SSL_new(tls_->context.get());
    SSL_set_fd(ssl, connection);
    if (SSL_accept(ssl) == 1) {
      ++handshakes_;
      char request[2048];
      if (SSL_read(ssl, request, sizeof request) > 0) {
        constexpr std::string_view answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
        SSL_write(ssl, answer.data(), static_cast<int>(answer.size()));
      }
      SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    ERR_clear_error();
  }
  ::close(connection);
}

UdpSink::UdpSink(const std::string& ns, const std::string& address, unsigned short port) {
  const int fd = inNamespace(ns, [&] { return bound(SOCK_DGRAM, address, port); });
  static_cast<void>(::pipe2(stopPipe_, O_CLOEXEC));
  reader_ = std::thread([this, fd] {
    std::array<pollfd, 2> fds{{{stopPipe_[0], POLLIN, 0}, {fd, POLLIN, 0}}};
    char datagram[2048];
    while (::poll(fds.data(), fds.size(), -1) >= 0 && !(fds[0].revents & POLLIN)) {
      if (fds[1].revents & POLLIN && ::recv(fd, datagram, sizeof datagram, 0) >= 0) ++received_;
    }
    ::close(fd);
  });
}

UdpSink::~UdpSink() {
  static_cast<void>(::write(stopPipe_[1], "x", 1));
  reader_.join();
  ::close(stopPipe_[0]);
  ::close(stopPipe_[1]);
}

int socketIn(const std::string& ns, int type, const std::string& address, unsigned short port) {
  return inNamespace(ns, [&] {
    socklen_t length = 0;
    const auto storage = socketAddress(address, port, length);
    const int fd = ::socket(storage.ss_family, type | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0) {
      if (fd >= 0) ::close(fd);
      throw std::runtime_error("cannot connect to " + address + ": " + std::strerror(errno));
    }
    return fd;
  });
}

}  // namespace velmoria::filter::live
