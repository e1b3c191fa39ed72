#include "testsupport/FakeWebSockets.hpp"

#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <variant>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>

#include "testsupport/ConnectionUpgrade.hpp"

namespace velmoria::testsupport {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

struct Text {
  std::string payload;
};
struct Binary {
  std::string payload;
};
struct Fragments {
  std::vector<std::string> pieces;
  bool text;
};
struct Ping {
  std::string payload;
};
struct Close {
  std::uint16_t code;
  std::string reason;
};
struct Raw {
  std::string bytes;
};
struct Drop {};
using Action = std::variant<Text, Binary, Fragments, Ping, Close, Raw, Drop>;

}  // namespace

// One served connection: its own I/O context runs on the backend's connection thread until it ends.
struct WebSocketPeer::State : std::enable_shared_from_this<WebSocketPeer::State> {
  State(int fd, RecordedRequest request, WebSocketRouteOptions routeOptions)
      : ws(tcp::socket(io, tcp::v4(), fd)), upgrade(std::move(request)), options(std::move(routeOptions)) {}

  asio::io_context io;
  // Keeps the context running while the connection waits for a script (a route that does not read).
  asio::executor_work_guard<asio::io_context::executor_type> work{io.get_executor()};
  websocket::stream<tcp::socket> ws;
  const RecordedRequest upgrade;
  const WebSocketRouteOptions options;
  beast::flat_buffer buffer;
  std::deque<Action> actions;  // on the I/O context only
  bool acting = false;
  bool accepted = false;  // scripted actions wait for the upgrade to complete
  std::size_t fragment = 0;

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<ReceivedFrame> frames;
  std::optional<ReceivedClose> close;
  std::size_t pongs = 0;
  bool over = false;

  void serve(const beast::http::request<beast::http::string_body>& request) {
    websocket::stream_base::timeout timeouts{};
    timeouts.handshake_timeout = options.closeTimeout;
    timeouts.idle_timeout = websocket::stream_base::none();
    timeouts.keep_alive_pings = false;
    ws.set_option(timeouts);
    ws.read_message_max(64u * 1024u * 1024u);
    ws.auto_fragment(false);
    ws.set_option(websocket::stream_base::decorator([options = options](websocket::response_type& response) {
      if (options.subprotocol) response.set(beast::http::field::sec_websocket_protocol, *options.subprotocol);
      for (const auto& [name, value] : options.responseHeaders) response.insert(name, value);
    }));
    ws.control_callback([this](websocket::frame_type kind, beast::string_view) {
      if (kind != websocket::frame_type::pong) return;
      std::lock_guard lock(mutex);
      ++pongs;
    });
    ws.async_accept(request, [self = shared_from_this()](beast::error_code error) {
      if (error) return self->end();
      self->accepted = true;
      if (self->options.onAccept) {
        WebSocketPeer peer(self);
        self->options.onAccept(peer);
      }
      if (self->options.read) self->read();
      if (!self->acting) self->next();
    });
    io.run();
    end();
  }

  // The client's close frame, as Beast kept it.
  void recordClose() {
    std::lock_guard lock(mutex);
    const auto& reason = ws.reason();
    ReceivedClose received;
    if (reason.code != websocket::close_code::none) received.code = reason.code;
    received.reason.assign(reason.reason.data(), reason.reason.size());
    close = std::move(received);
  }

  void read() {
    ws.async_read(buffer, [self = shared_from_this()](beast::error_code error, std::size_t) {
      if (error) {
        if (error == websocket::error::closed) self->recordClose();
        return self->end();
      }
      ReceivedFrame frame{self->ws.got_text(), beast::buffers_to_string(self->buffer.data())};
      self->buffer.consume(self->buffer.size());
      if (frame.text && self->options.onText) {
        WebSocketPeer peer(self);
        self->options.onText(peer, frame.payload);
      }
      if (self->options.echo) self->perform(frame.text ? Action(Text{frame.payload}) : Action(Binary{frame.payload}));
      if (self->options.keepFrames) {
        std::lock_guard lock(self->mutex);
        self->frames.push_back(frame);
      }
      self->changed.notify_all();
      self->read();
    });
  }

  void end() {
    {
      std::lock_guard lock(mutex);
      if (over) return;
      over = true;
    }
    changed.notify_all();
    if (options.onEnd) {
      WebSocketPeer peer(shared_from_this());
      options.onEnd(peer);
    }
    work.reset();
    beast::error_code ignored;
    ws.next_layer().shutdown(tcp::socket::shutdown_both, ignored);
    ws.next_layer().close(ignored);
  }

  // Runs on the I/O context; actions go out one after another.
  void perform(Action action) {
    actions.push_back(std::move(action));
    if (accepted && !acting) next();
  }

  // Ends the connection now, ahead of whatever is still scheduled.
  // Posted work holds the state weakly: work posted after the context stopped would otherwise keep the
  // state (which owns the context) alive for ever.
  void stop() {
    asio::post(io, [weak = weak_from_this()] {
      if (auto self = weak.lock()) self->end();
    });
  }

  void schedule(Action action) {
    asio::post(io, [weak = weak_from_this(), action = std::move(action)]() mutable {
      if (auto self = weak.lock()) self->perform(std::move(action));
    });
  }

  void next() {
    if (actions.empty()) {
      acting = false;
      return;
    }
    acting = true;
    auto done = [self = shared_from_this()](beast::error_code error, std::size_t = 0) {
      if (error) return self->end();
      self->actions.pop_front();
      self->next();
    };
    Action& action = actions.front();
    if (auto* text = std::get_if<Text>(&action)) {
      ws.text(true);
      return ws.async_write(asio::buffer(text->payload), done);
    }
    if (auto* binary = std::get_if<Binary>(&action)) {
      ws.binary(true);
      return ws.async_write(asio::buffer(binary->payload), done);
    }
    if (auto* fragments = std::get_if<Fragments>(&action)) return writeFragment(*fragments);
    if (auto* ping = std::get_if<Ping>(&action)) {
      return ws.async_ping(websocket::ping_data(ping->payload), [done](beast::error_code error) { done(error); });
    }
    if (auto* close = std::get_if<Close>(&action)) {
      return ws.async_close(websocket::close_reason(static_cast<websocket::close_code>(close->code), close->reason),
                            [self = shared_from_this()](beast::error_code error) {
                              if (!error) self->recordClose();
                              self->end();
                            });
    }
    if (auto* raw = std::get_if<Raw>(&action))
      return asio::async_write(ws.next_layer(), asio::buffer(raw->bytes), done);
    actions.clear();
    acting = false;
    end();
  }

  void writeFragment(Fragments& fragments) {
    if (fragments.pieces.empty()) {
      actions.pop_front();
      return next();
    }
    if (fragment == 0) fragments.text ? ws.text(true) : ws.binary(true);
    const bool last = fragment + 1 == fragments.pieces.size();
    ws.async_write_some(last, asio::buffer(fragments.pieces[fragment]),
                        [self = shared_from_this(), last](beast::error_code error, std::size_t) {
                          if (error) return self->end();
                          if (!last) {
                            ++self->fragment;
                            return self->writeFragment(std::get<Fragments>(self->actions.front()));
                          }
                          self->fragment = 0;
                          self->actions.pop_front();
                          self->next();
                        });
  }
};

WebSocketPeer::WebSocketPeer(std::shared_ptr<State> state) : state_(std::move(state)) {}

const RecordedRequest& WebSocketPeer::upgrade() const { return state_->upgrade; }
void WebSocketPeer::sendText(std::string text) { state_->schedule(Text{std::move(text)}); }
void WebSocketPeer::sendBinary(std::string bytes) { state_->schedule(Binary{std::move(bytes)}); }
void WebSocketPeer::sendFragmented(std::vector<std::string> pieces, bool text) {
  state_->schedule(Fragments{std::move(pieces), text});
}
void WebSocketPeer::ping(std::string payload) { state_->schedule(Ping{std::move(payload)}); }
void WebSocketPeer::close(std::uint16_t code, std::string reason) { state_->schedule(Close{code, std::move(reason)}); }
void WebSocketPeer::sendRaw(std::string bytes) { state_->schedule(Raw{std::move(bytes)}); }
void WebSocketPeer::dropTCP() { state_->schedule(Drop{}); }

std::vector<ReceivedFrame> WebSocketPeer::frames() const {
  std::lock_guard lock(state_->mutex);
  return state_->frames;
}

bool WebSocketPeer::waitForFrames(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [&] { return state_->frames.size() >= count; });
}

std::optional<ReceivedClose> WebSocketPeer::receivedClose() const {
  std::lock_guard lock(state_->mutex);
  return state_->close;
}

std::size_t WebSocketPeer::pongCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->pongs;
}

bool WebSocketPeer::ended() const {
  std::lock_guard lock(state_->mutex);
  return state_->over;
}

bool WebSocketPeer::waitForEnd(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [&] { return state_->over; });
}

namespace {

struct WebSocketRoute {
  std::string path;
  WebSocketRouteOptions options;

  bool matches(const std::string& requested) const {
    if (!path.empty() && path.back() == '*')
      return requested.compare(0, path.size() - 1, path, 0, path.size() - 1) == 0;
    return path == requested;
  }
};

}  // namespace

struct FakeWebSockets::State {
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<WebSocketRoute> routes;
  std::vector<std::shared_ptr<WebSocketPeer>> peers;
  std::vector<std::shared_ptr<WebSocketPeer::State>> live;
  bool closing = false;
  int serving = 0;

  bool take(ConnectionUpgrade& upgrade) {
    std::shared_ptr<WebSocketPeer::State> peer;
    {
      std::lock_guard lock(mutex);
      if (closing) return false;
      const WebSocketRoute* route = nullptr;
      for (auto it = routes.rbegin(); it != routes.rend() && route == nullptr; ++it) {
        const auto& accepts = it->options.accepts;
        if (it->matches(upgrade.recorded.path) && (!accepts || accepts(upgrade.recorded))) route = &*it;
      }
      if (route == nullptr) return false;
      // A second descriptor of the same socket: the backend's shutdown on teardown still ends it.
      const int fd = ::dup(upgrade.socket.native_handle());
      if (fd < 0) return false;
      peer = std::make_shared<WebSocketPeer::State>(fd, upgrade.recorded, route->options);
      live.push_back(peer);
      peers.push_back(std::make_shared<WebSocketPeer>(peer));
      ++serving;
    }
    changed.notify_all();
    peer->serve(upgrade.request);
    {
      std::lock_guard lock(mutex);
      std::erase(live, peer);
      --serving;
    }
    changed.notify_all();
    return true;
  }
};

FakeWebSockets::FakeWebSockets(FakeBackend& backend) : backend_(backend), state_(std::make_shared<State>()) {
  backend_.setUpgradeHook([state = state_](ConnectionUpgrade& upgrade) { return state->take(upgrade); });
}

FakeWebSockets::~FakeWebSockets() {
  backend_.setUpgradeHook(nullptr);
  std::unique_lock lock(state_->mutex);
  state_->closing = true;
  for (const auto& peer : state_->live) peer->stop();
  state_->changed.wait(lock, [&] { return state_->serving == 0; });
}

void FakeWebSockets::route(std::string path, WebSocketRouteOptions options) {
  std::lock_guard lock(state_->mutex);
  state_->routes.push_back({std::move(path), std::move(options)});
}

std::string FakeWebSockets::url(const std::string& pathAndQuery) const {
  return "ws://127.0.0.1:" + std::to_string(backend_.port()) + pathAndQuery;
}

std::vector<std::shared_ptr<WebSocketPeer>> FakeWebSockets::peers() const {
  std::lock_guard lock(state_->mutex);
  return state_->peers;
}

std::shared_ptr<WebSocketPeer> FakeWebSockets::waitForPeer(std::size_t index, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  if (!state_->changed.wait_for(lock, timeout, [&] { return state_->peers.size() > index; })) return nullptr;
  return state_->peers[index];
}

}  // namespace velmoria::testsupport
