#include "testsupport/FakeBackend.hpp"

#include <sys/socket.h>

#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

#include "LoopbackListener.hpp"
#include "base/HexDigit.hpp"
#include "testsupport/ConnectionUpgrade.hpp"

namespace velmoria::testsupport {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

std::string percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int hi = base::hexDigitValue(text[i + 1]);
      const int lo = base::hexDigitValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

RecordedRequest record(const http::request<http::string_body>& request, int connectionIndex) {
  RecordedRequest recorded;
  recorded.method = std::string(request.method_string());
  recorded.target = std::string(request.target());
  recorded.connectionIndex = connectionIndex;
  const auto question = recorded.target.find('?');
  recorded.path = percentDecode(std::string_view(recorded.target).substr(0, question));
  if (question != std::string::npos) {
    recorded.rawQuery = recorded.target.substr(question + 1);
    std::string_view rest = recorded.rawQuery;
    while (!rest.empty()) {
      const auto amp = rest.find('&');
      const std::string_view item = rest.substr(0, amp);
      const auto equals = item.find('=');
      if (equals == std::string_view::npos) {
        recorded.query.emplace_back(percentDecode(item), std::nullopt);
      } else {
        recorded.query.emplace_back(percentDecode(item.substr(0, equals)), percentDecode(item.substr(equals + 1)));
      }
      if (amp == std::string_view::npos) break;
      rest.remove_prefix(amp + 1);
    }
  }
  for (const auto& field : request) {
    recorded.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
  }
  recorded.body = request.body();
  return recorded;
}

// Whether the client has closed its end (or reset it); a pipelined request still counts as open.
bool peerClosed(tcp::socket& socket) {
  char byte = 0;
  const auto received = ::recv(socket.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return received == 0 || (received < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

struct Route {
  std::string method;
  std::string path;
  RouteHandler handler;

  bool matches(const RecordedRequest& request) const {
    if (method != "*" && method != request.method) return false;
    if (!path.empty() && path.back() == '*') {
      return request.path.compare(0, path.size() - 1, path, 0, path.size() - 1) == 0;
    }
    return path == request.path;
  }
};

}  // namespace

struct FakeBackend::State {
  asio::io_context io;
  tcp::acceptor acceptor{io};
  std::uint16_t port = 0;

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  bool stopping = false;
  std::vector<Route> routes;
  UpgradeHook upgradeHook;
  std::vector<RecordedRequest> requests;
  int accepted = 0;
  std::uint64_t maxBodySize = 64u * 1024u * 1024u;
  std::map<int, std::shared_ptr<tcp::socket>> live;
  std::vector<std::thread> connectionThreads;
  std::thread acceptThread;

  // Sleeps unless the server is shutting down; returns false when it is.
  bool pause(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex);
    return !changed.wait_for(lock, wait, [this] { return stopping; });
  }

  ScriptedResponse answer(const RecordedRequest& request) {
    RouteHandler handler;
    {
      std::lock_guard lock(mutex);
      for (auto it = routes.rbegin(); it != routes.rend(); ++it) {
        if (it->matches(request)) {
          handler = it->handler;
          break;
        }
      }
    }
    if (!handler) return ScriptedResponse::json(404, R"({"message":"no route"})");
    try {
      return handler(request);
    } catch (const std::exception& error) {
      return ScriptedResponse::text(500, std::string("handler failed: ") + error.what());
    }
  }

  void acceptLoop() {
    for (;;) {
      auto socket = std::make_shared<tcp::socket>(io);
      boost::system::error_code ec;
      acceptor.accept(*socket, ec);
      std::unique_lock lock(mutex);
      if (stopping) return;
      if (ec) {
        // Out of descriptors or similar: back off briefly instead of spinning.
        changed.wait_for(lock, std::chrono::milliseconds(10), [this] { return stopping; });
        continue;
      }
      socket->set_option(tcp::no_delay(true), ec);
      const int index = accepted++;
      live.emplace(index, socket);
      connectionThreads.emplace_back([this, socket, index] { serve(*socket, index); });
    }
  }

  void serve(tcp::socket& socket, int index) {
    beast::flat_buffer buffer;
    for (;;) {
      http::request_parser<http::string_body> parser;
      {
        std::lock_guard lock(mutex);
        parser.body_limit(maxBodySize);
      }
      boost::system::error_code ec;
      http::read(socket, buffer, parser, ec);
      if (ec) break;
      const auto& request = parser.get();
      RecordedRequest recorded = record(request, index);
      {
        std::lock_guard lock(mutex);
        requests.push_back(recorded);
      }
      changed.notify_all();
      if (takenOver(socket, buffer, request, recorded)) break;
      const ScriptedResponse response = answer(recorded);
      if (response.delay.count() > 0 && !pause(response.delay)) break;
      if (response.dropConnection) break;
      if (response.raw) {
        asio::write(socket, asio::buffer(*response.raw), ec);
        break;
      }
      if (!write(socket, request, response)) break;
      if (!request.keep_alive() || response.truncateBody) break;
    }
    // Closed under the lock: the destructor shuts live sockets down through their handles.
    std::lock_guard lock(mutex);
    live.erase(index);
    boost::system::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
  }

  bool takenOver(tcp::socket& socket, beast::flat_buffer& buffer, const http::request<http::string_body>& request,
                 const RecordedRequest& recorded) {
    if (!beast::websocket::is_upgrade(request)) return false;
    UpgradeHook hook;
    {
      std::lock_guard lock(mutex);
      hook = upgradeHook;
    }
    ConnectionUpgrade upgrade{socket, buffer, request, recorded};
    return hook && hook(upgrade);
  }

  bool write(tcp::socket& socket, const http::request<http::string_body>& request, const ScriptedResponse& response) {
    boost::system::error_code ec;
    http::response<http::string_body> out;
    out.version(11);
    out.result(response.status);
    out.keep_alive(request.keep_alive());
    for (const auto& [name, value] : response.headers) out.insert(name, value);
    const bool head = request.method() == http::verb::head;

    if (!response.chunks.empty()) {
      const auto ended = [&](bool delivered) {
        if (response.onChunksEnd) response.onChunksEnd(delivered);
        return delivered;
      };
      out.chunked(true);
      http::response_serializer<http::string_body> serializer(out);
      http::write_header(socket, serializer, ec);
      if (ec) return ended(false);
      for (const auto& chunk : response.chunks) {
        if (response.chunkDelay.count() > 0 && !pause(response.chunkDelay)) return ended(false);
        if (peerClosed(socket)) return ended(false);
        asio::write(socket, http::make_chunk(asio::buffer(chunk)), ec);
        if (ec) return ended(false);
      }
      asio::write(socket, http::make_chunk_last(), ec);
      return ended(!ec);
    }
    if (response.truncateBody) {
      out.content_length(response.body.size() + 100);
      http::response_serializer<http::string_body> serializer(out);
      http::write_header(socket, serializer, ec);
      if (ec) return false;
      asio::write(socket, asio::buffer(response.body), ec);
      return false;
    }
    out.body() = response.body;
    out.prepare_payload();
    if (head) {
      http::response_serializer<http::string_body> serializer(out);
      http::write_header(socket, serializer, ec);
    } else {
      http::write(socket, out, ec);
    }
    return !ec;
  }
};

FakeBackend::FakeBackend() : FakeBackend(0) {}

FakeBackend::FakeBackend(std::uint16_t port) : state_(std::make_shared<State>()) {
  state_->port = detail::listenOnLoopback(state_->acceptor, port);
  state_->acceptThread = std::thread([state = state_.get()] { state->acceptLoop(); });
}

FakeBackend::~FakeBackend() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
    ::shutdown(state_->acceptor.native_handle(), SHUT_RDWR);
    for (auto& [index, socket] : state_->live) ::shutdown(socket->native_handle(), SHUT_RDWR);
  }
  state_->changed.notify_all();
  state_->acceptThread.join();
  {
    std::lock_guard lock(state_->mutex);
    threads.swap(state_->connectionThreads);
  }
  for (auto& thread : threads) thread.join();
  boost::system::error_code ignored;
  state_->acceptor.close(ignored);
}

std::uint16_t FakeBackend::port() const { return state_->port; }

std::string FakeBackend::baseURL() const { return "http://127.0.0.1:" + std::to_string(state_->port); }

std::string FakeBackend::url(const std::string& pathAndQuery) const { return baseURL() + pathAndQuery; }

void FakeBackend::route(std::string method, std::string path, RouteHandler handler) {
  std::lock_guard lock(state_->mutex);
  state_->routes.push_back(Route{std::move(method), std::move(path), std::move(handler)});
}

void FakeBackend::script(std::string method, std::string path, std::vector<ScriptedResponse> responses) {
  auto queue = std::make_shared<std::pair<std::mutex, std::vector<ScriptedResponse>>>();
  queue->second = std::move(responses);
  route(std::move(method), std::move(path), [queue, next = std::make_shared<std::size_t>(0)](const RecordedRequest&) {
    std::lock_guard lock(queue->first);
    if (queue->second.empty()) return ScriptedResponse::json(500, R"({"message":"empty script"})");
    const std::size_t index = std::min(*next, queue->second.size() - 1);
    ++*next;
    return queue->second[index];
  });
}

void FakeBackend::respond(std::string method, std::string path, ScriptedResponse response) {
  route(std::move(method), std::move(path), [response](const RecordedRequest&) { return response; });
}

void FakeBackend::setUpgradeHook(UpgradeHook hook) {
  std::lock_guard lock(state_->mutex);
  state_->upgradeHook = std::move(hook);
}

std::vector<RecordedRequest> FakeBackend::requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

std::size_t FakeBackend::requestCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests.size();
}

RecordedRequest FakeBackend::lastRequest() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests.empty() ? RecordedRequest{} : state_->requests.back();
}

void FakeBackend::clearRequests() {
  std::lock_guard lock(state_->mutex);
  state_->requests.clear();
}

bool FakeBackend::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [&] { return state_->requests.size() >= count; });
}

int FakeBackend::connectionCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->accepted;
}

void FakeBackend::setMaxBodySize(std::uint64_t bytes) {
  std::lock_guard lock(state_->mutex);
  state_->maxBodySize = bytes;
}

}  // namespace velmoria::testsupport
