#include "testsupport/TlsTestServer.hpp"

#include <sys/socket.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace testsupport {

namespace asio = boost::asio;
namespace ssl = asio::ssl;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Stream = ssl::stream<tcp::socket>;

struct TlsTestServer::State {
  asio::io_context io;
  ssl::context context{ssl::context::tls_server};
  tcp::acceptor acceptor{io};
  std::uint16_t port = 0;

  mutable std::mutex mutex;
  bool stopping = false;
  int accepted = 0;
  int requests = 0;
  std::map<int, std::shared_ptr<Stream>> live;
  std::vector<std::thread> connectionThreads;
  std::thread acceptThread;

  void acceptLoop() {
    for (;;) {
      auto stream = std::make_shared<Stream>(io, context);
      boost::system::error_code ec;
      acceptor.accept(stream->next_layer(), ec);
      std::lock_guard lock(mutex);
      if (stopping) return;
      if (ec) continue;
      const int index = accepted++;
      live.emplace(index, stream);
      connectionThreads.emplace_back([this, stream, index] { serve(*stream, index); });
    }
  }

  void serve(Stream& stream, int index) {
    boost::system::error_code ec;
    stream.handshake(ssl::stream_base::server, ec);
    if (!ec) {
      beast::flat_buffer buffer;
      for (;;) {
        http::request<http::string_body> request;
        http::read(stream, buffer, request, ec);
        if (ec) break;
        {
          std::lock_guard lock(mutex);
          ++requests;
        }
        http::response<http::string_body> response{http::status::ok, 11};
        response.set(http::field::content_type, "text/plain");
        response.keep_alive(request.keep_alive());
        response.body() = "secure";
        response.prepare_payload();
        http::write(stream, response, ec);
        if (ec || !request.keep_alive()) break;
      }
    }
    // No TLS close exchange: waiting for the peer's reply could block a failed client forever.
    std::lock_guard lock(mutex);
    live.erase(index);
    boost::system::error_code ignored;
    stream.next_layer().shutdown(tcp::socket::shutdown_both, ignored);
    stream.next_layer().close(ignored);
  }
};

TlsTestServer::TlsTestServer(const TlsIdentity& identity) : state_(std::make_shared<State>()) {
  state_->context.use_certificate_chain(asio::buffer(identity.certificatePem));
  state_->context.use_private_key(asio::buffer(identity.privateKeyPem), ssl::context::pem);
  const tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), 0);
  state_->acceptor.open(endpoint.protocol());
  state_->acceptor.set_option(tcp::acceptor::reuse_address(true));
  state_->acceptor.bind(endpoint);
  state_->acceptor.listen();
  state_->port = state_->acceptor.local_endpoint().port();
  state_->acceptThread = std::thread([state = state_.get()] { state->acceptLoop(); });
}

TlsTestServer::~TlsTestServer() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
    ::shutdown(state_->acceptor.native_handle(), SHUT_RDWR);
    for (auto& [index, stream] : state_->live) ::shutdown(stream->next_layer().native_handle(), SHUT_RDWR);
  }
  state_->acceptThread.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(state_->mutex);
    threads.swap(state_->connectionThreads);
  }
  for (auto& thread : threads) thread.join();
  boost::system::error_code ignored;
  state_->acceptor.close(ignored);
}

std::uint16_t TlsTestServer::port() const { return state_->port; }

std::string TlsTestServer::url(const std::string& pathAndQuery) const {
  return "https://127.0.0.1:" + std::to_string(state_->port) + pathAndQuery;
}

int TlsTestServer::connectionCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->accepted;
}

int TlsTestServer::requestCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

}  // namespace testsupport
