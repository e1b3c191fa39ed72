#include "realtime/legacy/URLSessionTransport.hpp"

#include <cstdio>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "SerialDelivery.hpp"
#include "base/ThreadSafety.hpp"
#include "base/Unicode.hpp"
#include "helpers/URLError.hpp"
#include "realtime/WebSocket.hpp"
#include "realtime/legacy/TimerQueue.hpp"
#include "realtime/transport/Connection.hpp"

namespace zirudeze::realtime {

namespace {

constexpr int kAbnormalCloseCode = 999;
constexpr int kNoStatusReceived = 1005;
constexpr std::size_t kCloseReasonLimit = 123;
// How long a close this side starts waits for the peer's answering close frame before the connection is
// cut: a peer that stopped reading never answers, and the owner hears of the close only at its end.
constexpr double kCloseAnswerLimit = 3.0;

std::string replacingAll(std::string text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

void writeLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Valid UTF-8 of at most 123 bytes, cut at a character boundary.
std::string sendableReason(const std::optional<std::string>& reason) {
  std::string text = velmoria::base::repairUTF8(reason.value_or(""));
  if (text.size() <= kCloseReasonLimit) return text;
  std::size_t end = kCloseReasonLimit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

}  // namespace

velmoria::base::URL legacyWebSocketURL(const velmoria::base::URL& url) {
  const std::string text = replacingAll(replacingAll(url.absoluteString(), "http://", "ws://"), "https://", "wss://");
  return velmoria::base::URL::parse(text).value_or(url);
}

std::optional<std::string> decodeLegacyCloseReason(std::string_view bytes) {
  if (bytes.empty() || !velmoria::base::isValidUTF8(bytes)) return std::nullopt;
  return std::string(bytes);
}

struct URLSessionTransport::Core final : transport::ConnectionEvents, std::enable_shared_from_this<Core> {
  Core(velmoria::base::URL target, WebSocketConfiguration settings)
      : url(std::move(target)), configuration(std::move(settings)), delivery(std::make_shared<SerialDelivery>()) {}

  struct RequestedClose {
    int code;
    std::optional<std::string> reason;
  };

  const velmoria::base::URL url;
  const WebSocketConfiguration configuration;
  const std::shared_ptr<SerialDelivery> delivery;
  const std::shared_ptr<TimerQueue> timers = TimerQueue::main();

  mutable velmoria::base::Mutex mutex;
  SocketTransportReadyState readyState VM_GUARDED_BY(mutex) = SocketTransportReadyState::closed;
  std::weak_ptr<SocketTransportDelegate> delegate VM_GUARDED_BY(mutex);
  std::shared_ptr<transport::PendingConnect> pending VM_GUARDED_BY(mutex);
  std::shared_ptr<transport::Connection> connection VM_GUARDED_BY(mutex);
  std::vector<std::string> queuedSends VM_GUARDED_BY(mutex);
  bool disconnectRequested VM_GUARDED_BY(mutex) = false;
  // The close asked for when the connection had to be cut instead.
  std::optional<RequestedClose> cutFor VM_GUARDED_BY(mutex);
  // Cuts a close the peer does not answer in time.
  std::shared_ptr<WorkItem> closeDeadline VM_GUARDED_BY(mutex);
  bool ended VM_GUARDED_BY(mutex) = false;

  // Runs `report` on the delivery context with the delegate as it is then, after `update`.
  template <class Update, class Report>
  void report(Update update, Report report) {
    delivery->post([self = shared_from_this(), update = std::move(update), report = std::move(report)] {
      std::shared_ptr<SocketTransportDelegate> target;
      {
        velmoria::base::MutexLock lock(self->mutex);
        update(self->readyState);
        target = self->delegate.lock();
      }
      if (target) report(*target);
    });
  }

  void reportClosed(int code, std::optional<std::string> reason) {
    report([](SocketTransportReadyState& state) { state = SocketTransportReadyState::closed; },
           [code, reason = std::move(reason)](SocketTransportDelegate& target) { target.onClose(code, reason); });
  }

  void reportAbnormal(const helpers::URLError& error, std::optional<helpers::HTTPURLResponse> response) {
    report([](SocketTransportReadyState& state) { state = SocketTransportReadyState::closed; },
           [failure = std::make_exception_ptr(error), description = error.localizedDescription(),
            response = std::move(response)](SocketTransportDelegate& target) {
             target.onError(failure, response);
             target.onClose(kAbnormalCloseCode, description);
           });
  }

  void connect(const std::map<std::string, std::string>& headers) {
    velmoria::base::MutexLock lock(mutex);
    if (pending || connection) return;
    readyState = SocketTransportReadyState::connecting;
    disconnectRequested = false;
    transport::HandshakeRequest request{
        url,
        std::vector<std::pair<std::string, std::string>>(headers.begin(), headers.end()),
        configuration.httpAdditionalHeaders,
        {},
        configuration.handshakeLimit};
    try {
      pending =
          transport::startConnect(std::move(request), [weak = weak_from_this()](transport::ConnectOutcome outcome) {
            if (auto self = weak.lock()) return self->onConnected(std::move(outcome));
            if (auto* opened = std::get_if<transport::Opened>(&outcome)) opened->connection->cut();
          });
    } catch (const std::invalid_argument& refused) {
      reportAbnormal(helpers::URLError(helpers::URLError::Code::badURL, url.absoluteString(), refused.what()),
                     std::nullopt);
    }
  }

  void onConnected(transport::ConnectOutcome outcome) {
    if (auto* failure = std::get_if<transport::ConnectFailure>(&outcome)) {
      {
        velmoria::base::MutexLock lock(mutex);
        pending.reset();
      }
      return reportAbnormal(failure->failure.urlError(url.absoluteString()), std::move(failure->response));
    }
    auto& opened = std::get<transport::Opened>(outcome);
    velmoria::base::MutexLock lock(mutex);
    pending.reset();
    if (disconnectRequested) {
      opened.connection->cut();
      return reportAbnormal(helpers::URLError(helpers::URLError::Code::cancelled, url.absoluteString()), std::nullopt);
    }
    connection = opened.connection;
    for (auto& text : queuedSends) connection->sendText(std::move(text));
    queuedSends.clear();
    report(
        [](SocketTransportReadyState& state) {
          if (state == SocketTransportReadyState::connecting) state = SocketTransportReadyState::open;
        },
        [response = std::move(opened.response)](SocketTransportDelegate& target) { target.onOpen(response); });
    connection->start(weak_from_this());
  }

  void disconnect(int code, const std::optional<std::string>& reason) {
    velmoria::base::MutexLock lock(mutex);
    readyState = SocketTransportReadyState::closing;
    disconnectRequested = true;
    if (connection) {
      if (!transport::isSendableCloseCode(code)) {
        cutFor = RequestedClose{code, reason};
        return connection->cut();
      }
      connection->close(code, sendableReason(reason));
      if (closeDeadline || ended) return;
      closeDeadline = std::make_shared<WorkItem>([weak = weak_from_this(), code, reason] {
        if (const auto self = weak.lock()) self->giveUpClose(RequestedClose{code, reason});
      });
      return timers->queue(kCloseAnswerLimit, closeDeadline);
    }
    if (pending) pending->cancel();
  }

  // The peer did not answer the close: the connection ends as if it had, with the close asked for.
  void giveUpClose(RequestedClose requested) {
    velmoria::base::MutexLock lock(mutex);
    if (ended || !connection) return;
    cutFor = std::move(requested);
    connection->cut();
  }

  void stopCloseDeadline() VM_REQUIRES(mutex) {
    if (closeDeadline) closeDeadline->cancel();
    closeDeadline.reset();
  }

  void send(std::string text) {
    velmoria::base::MutexLock lock(mutex);
    if (connection) return connection->sendText(std::move(text));
    if (pending) queuedSends.push_back(std::move(text));
  }

  void shutdown() {
    velmoria::base::MutexLock lock(mutex);
    stopCloseDeadline();
    if (connection) connection->cut();
    if (pending) pending->cancel();
  }

  void onText(std::string text) override {
    report([](SocketTransportReadyState&) {},
           [text = std::move(text)](SocketTransportDelegate& target) { target.onMessage(text); });
  }

  void onBinary(velmoria::base::Data) override {
    delivery->post([] { writeLine("Data received. This method is unsupported by the Client"); });
  }

  void onWriteFailure(const transport::Failure&) override {}

  void onEnd(const transport::ConnectionEnd& end) override {
    {
      velmoria::base::MutexLock lock(mutex);
      ended = true;
      stopCloseDeadline();
    }
    switch (end.kind) {
      case transport::ConnectionEnd::Kind::peerClosed:
        return reportClosed(end.frame.code.value_or(kNoStatusReceived), decodeLegacyCloseReason(end.frame.reason));
      case transport::ConnectionEnd::Kind::failed: {
        const helpers::URLError error = end.failure.urlError(url.absoluteString());
        delivery->post([line = std::string("Error when receiving ") + error.what()] { writeLine(line); });
        return reportAbnormal(error, std::nullopt);
      }
      case transport::ConnectionEnd::Kind::cut: {
        RequestedClose requested{1006, std::nullopt};
        {
          velmoria::base::MutexLock lock(mutex);
          if (cutFor) requested = *cutFor;
        }
        return reportClosed(requested.code, requested.reason);
      }
    }
  }
};

URLSessionTransport::URLSessionTransport(const velmoria::base::URL& url, WebSocketConfiguration configuration)
    : core_(std::make_shared<Core>(legacyWebSocketURL(url), std::move(configuration))) {}

URLSessionTransport::~URLSessionTransport() { core_->shutdown(); }

const velmoria::base::URL& URLSessionTransport::url() const noexcept { return core_->url; }

const WebSocketConfiguration& URLSessionTransport::configuration() const noexcept { return core_->configuration; }

SocketTransportReadyState URLSessionTransport::readyState() const {
  velmoria::base::MutexLock lock(core_->mutex);
  return core_->readyState;
}

std::shared_ptr<SocketTransportDelegate> URLSessionTransport::delegate() const {
  velmoria::base::MutexLock lock(core_->mutex);
  return core_->delegate.lock();
}

void URLSessionTransport::setDelegate(std::weak_ptr<SocketTransportDelegate> delegate) {
  velmoria::base::MutexLock lock(core_->mutex);
  core_->delegate = std::move(delegate);
}

void URLSessionTransport::connect(const std::map<std::string, std::string>& headers) { core_->connect(headers); }

void URLSessionTransport::disconnect(int code, const std::optional<std::string>& reason) {
  core_->disconnect(code, reason);
}

void URLSessionTransport::send(const velmoria::base::Data& data) {
  core_->send(velmoria::base::repairUTF8(std::string_view(reinterpret_cast<const char*>(data.data()), data.size())));
}

}  // namespace zirudeze::realtime
