#include "testsupport/FakeTLSFront.hpp"

#include <array>
#include <atomic>
#include <thread>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>

#include "LoopbackListener.hpp"

namespace velmoria::testsupport {

namespace asio = boost::asio;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using ErrorCode = boost::system::error_code;

namespace {

// One client connection and its link to the backend; both directions pump until either side ends.
struct Link : std::enable_shared_from_this<Link> {
  Link(tcp::socket client, ssl::context& context, asio::io_context& io)
      : tls(std::move(client), context), backend(io) {}

  ssl::stream<tcp::socket> tls;
  tcp::socket backend;
  std::array<char, 16384> fromClient{};
  std::array<char, 16384> fromBackend{};
  bool over = false;

  void start(std::uint16_t backendPort) {
    tls.async_handshake(ssl::stream_base::server, [self = shared_from_this(), backendPort](ErrorCode error) {
      if (error) return self->end();
      const tcp::endpoint target(asio::ip::make_address("127.0.0.1"), backendPort);
      self->backend.async_connect(target, [self](ErrorCode failure) {
        if (failure) return self->end();
        self->backend.set_option(tcp::no_delay(true), failure);
        self->pumpFromClient();
        self->pumpFromBackend();
      });
    });
  }

  void pumpFromClient() {
    tls.async_read_some(asio::buffer(fromClient), [self = shared_from_this()](ErrorCode error, std::size_t size) {
      if (error) return self->end();
      asio::async_write(self->backend, asio::buffer(self->fromClient.data(), size),
                        [self](ErrorCode failure, std::size_t) {
                          if (failure) return self->end();
                          self->pumpFromClient();
                        });
    });
  }

  void pumpFromBackend() {
    backend.async_read_some(asio::buffer(fromBackend), [self = shared_from_this()](ErrorCode error, std::size_t size) {
      if (error) return self->end();
      asio::async_write(self->tls, asio::buffer(self->fromBackend.data(), size),
                        [self](ErrorCode failure, std::size_t) {
                          if (failure) return self->end();
                          self->pumpFromBackend();
                        });
    });
  }

  // No TLS close: the client sees its connection end as a drop.
  void end() {
    if (over) return;
    over = true;
    ErrorCode ignored;
    tls.lowest_layer().shutdown(tcp::socket::shutdown_both, ignored);
    tls.lowest_layer().close(ignored);
    backend.shutdown(tcp::socket::shutdown_both, ignored);
    backend.close(ignored);
  }
};

}  // namespace

struct FakeTLSFront::State {
  asio::io_context io{1};
  ssl::context context{ssl::context::tls_server};
  tcp::acceptor acceptor{io};
  std::uint16_t backendPort = 0;
  std::uint16_t port = 0;
  std::atomic<int> accepted = 0;
  std::thread thread;

  void accept() {
    acceptor.async_accept([this](ErrorCode error, tcp::socket client) {
      if (error) return;
      ++accepted;
      client.set_option(tcp::no_delay(true), error);
      std::make_shared<Link>(std::move(client), context, io)->start(backendPort);
      accept();
    });
  }
};

FakeTLSFront::FakeTLSFront(const FakeBackend& backend, const TlsIdentity& identity)
    : state_(std::make_shared<State>()) {
  state_->backendPort = backend.port();
  state_->context.use_certificate_chain(asio::buffer(identity.certificatePem));
  state_->context.use_private_key(asio::buffer(identity.privateKeyPem), ssl::context::pem);
  state_->port = detail::listenOnLoopback(state_->acceptor);
  state_->accept();
  state_->thread = std::thread([state = state_.get()] { state->io.run(); });
}

FakeTLSFront::~FakeTLSFront() {
  state_->io.stop();
  state_->thread.join();
}

std::uint16_t FakeTLSFront::port() const { return state_->port; }

int FakeTLSFront::connectionCount() const { return state_->accepted; }

std::string FakeTLSFront::url(const std::string& pathAndQuery, const std::string& host,
                              const std::string& scheme) const {
  return scheme + "://" + host + ":" + std::to_string(port()) + pathAndQuery;
}

}  // namespace velmoria::testsupport
