#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include <boost/asio/post.hpp>
#include <boost/beast/core/bind_handler.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/stream_traits.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket.hpp>

#include "realtime/transport/BeastFailures.hpp"
#include "realtime/transport/Connection.hpp"

namespace zirudeze::realtime::transport {

using ErrorCode = boost::system::error_code;
using UpgradeResponse = boost::beast::http::response<boost::beast::http::string_body>;

// Beast's default message limit, kept on purpose: larger messages close the connection with 1009.
inline constexpr std::size_t kReadMessageLimit = 16u * 1024u * 1024u;
inline constexpr std::size_t kWriteBufferBytes = 64u * 1024u;

// Applies the request's header rules to the upgrade request (handshake fields are never touched).
void decorateUpgradeRequest(boost::beast::websocket::request_type& request, const HandshakeRequest& handshake);
// The upgrade reply as the platform's HTTP response value.
helpers::HTTPURLResponse responseValue(const UpgradeResponse& response, const std::string& url);

// One client WebSocket over `NextLayer` (a TCP stream, TLS over one, or an in-memory stream). All of
// its work runs on the next layer's executor, which must be a strand or single-threaded.
template <class NextLayer>
class WebSocketSession final : public Connection, public std::enable_shared_from_this<WebSocketSession<NextLayer>> {
 public:
  using Stream = boost::beast::websocket::stream<NextLayer>;
  using HandshakeDone = std::function<void(ErrorCode, const UpgradeResponse&)>;

  // `keepAlive` holds what the next layer refers to (a TLS context) for as long as the session lives.
  template <class... Args>
  WebSocketSession(std::shared_ptr<void> keepAlive, std::chrono::milliseconds handshakeLimit, Args&&... args)
      : keepAlive_(std::move(keepAlive)), ws_(std::forward<Args>(args)...) {
    boost::beast::websocket::stream_base::timeout timeouts{};
    timeouts.handshake_timeout = handshakeLimit;
    timeouts.idle_timeout = boost::beast::websocket::stream_base::none();
    timeouts.keep_alive_pings = false;
    ws_.set_option(timeouts);
    ws_.read_message_max(kReadMessageLimit);
    ws_.auto_fragment(false);
    // Frames are masked through this buffer: larger pieces mean fewer writes for large messages.
    ws_.write_buffer_bytes(kWriteBufferBytes);
    ws_.text(true);
  }

  Stream& stream() noexcept { return ws_; }

  // Runs the opening handshake over the connected next layer; `done` runs on the session's executor.
  void handshake(const HandshakeRequest& request, const std::string& host, const std::string& target,
                 HandshakeDone done) {
    ws_.set_option(boost::beast::websocket::stream_base::decorator(
        [request](boost::beast::websocket::request_type& upgrade) { decorateUpgradeRequest(upgrade, request); }));
    ws_.async_handshake(
        response_, host, target,
        [self = this->shared_from_this(), done = std::move(done)](ErrorCode error) { done(error, self->response_); });
  }

  void start(std::weak_ptr<ConnectionEvents> events) override {
    post([events = std::move(events)](WebSocketSession& self) mutable {
      if (self.started_) return;
      self.started_ = true;
      self.events_ = std::move(events);
      if (self.ended_) return;
      if (self.cut_) return self.finish({ConnectionEnd::Kind::cut, {}, {}});
      self.read();
    });
  }

  void sendText(std::string text) override {
    post([text = std::move(text)](WebSocketSession& self) mutable {
      if (self.ended_ || self.cut_ || self.closeRequested_ || self.writeFailed_) return;
      self.outbox_.push_back(std::move(text));
      if (!self.writing_) self.writeNext();
    });
  }

  void close(int code, std::string reason) override {
    post([code, reason = std::move(reason)](WebSocketSession& self) mutable {
      if (self.ended_ || self.cut_ || self.closeRequested_) return;
      self.closeRequested_ = true;
      self.closeReason_ =
          boost::beast::websocket::close_reason(static_cast<boost::beast::websocket::close_code>(code), reason);
      if (!self.writing_) self.beginClose();
    });
  }

  void cut() override {
    post([](WebSocketSession& self) { self.cutNow(); });
  }

 private:
  template <class Work>
  void post(Work work) {
    boost::asio::post(ws_.get_executor(),
                      [self = this->shared_from_this(), work = std::move(work)]() mutable { work(*self); });
  }

  void cutNow() {
    if (ended_ || cut_) return;
    cut_ = true;
    dropQueued();
    boost::beast::get_lowest_layer(ws_).close();
    if (!started_) return;
    if (!reading_) finish({ConnectionEnd::Kind::cut, {}, {}});
  }

  // Drops the frames not yet written; the one being written stays until its write completes, since the
  // write reads from it.
  void dropQueued() {
    if (outbox_.empty()) return;
    outbox_.erase(writing_ ? std::next(outbox_.begin()) : outbox_.begin(), outbox_.end());
  }

  std::shared_ptr<ConnectionEvents> sink() {
    auto events = events_.lock();
    if (!events) cutNow();
    return events;
  }

  void read() {
    reading_ = true;
    ws_.async_read(buffer_, boost::beast::bind_front_handler(&WebSocketSession::onRead, this->shared_from_this()));
  }

  void onRead(ErrorCode error, std::size_t) {
    reading_ = false;
    if (error) {
      // Our own close may have read the peer's close frame, aborting this read: its outcome decides.
      if (closing_ && error != boost::beast::websocket::error::closed && !cut_) {
        readError_ = error;
        if (closeDone_) return finish(closeOutcome());
        readEnded_ = true;
        return;
      }
      return finish(endAfter(error));
    }
    if (cut_) return finish({ConnectionEnd::Kind::cut, {}, {}});
    if (auto events = sink()) {
      if (ws_.got_text()) {
        events->onText(boost::beast::buffers_to_string(buffer_.data()));
      } else {
        const auto* bytes = static_cast<const std::uint8_t*>(buffer_.data().data());
        events->onBinary(velmoria::base::Data(bytes, bytes + buffer_.size()));
      }
    }
    buffer_.consume(buffer_.size());
    if (ended_) return;
    read();
  }

  ConnectionEnd endAfter(const ErrorCode& error) {
    // Once the peer's close frame is in, a failing teardown (TLS peers often end without a TLS close)
    // changes nothing about how the connection ended.
    if (error == boost::beast::websocket::error::closed ||
        ws_.reason().code != boost::beast::websocket::close_code::none)
      return peerClosed();
    if (cut_) return {ConnectionEnd::Kind::cut, {}, {}};
    return {ConnectionEnd::Kind::failed, {}, classify(error)};
  }

  ConnectionEnd peerClosed() {
    const auto& reason = ws_.reason();
    CloseFrame frame;
    if (reason.code != boost::beast::websocket::close_code::none) frame.code = reason.code;
    frame.reason.assign(reason.reason.data(), reason.reason.size());
    return {ConnectionEnd::Kind::peerClosed, std::move(frame), {}};
  }

  // How our close ended: the peer's answering frame, or the failure (such as no answer in time).
  ConnectionEnd closeOutcome() {
    if (!closeError_) return peerClosed();
    // Of the two operations one sees the cause (a timeout), the other only that it was aborted.
    const bool aborted = *closeError_ == boost::asio::error::operation_aborted;
    return endAfter(aborted && readError_ ? *readError_ : *closeError_);
  }

  void writeNext() {
    writing_ = true;
    ws_.async_write(boost::asio::buffer(outbox_.front()),
                    boost::beast::bind_front_handler(&WebSocketSession::onWrite, this->shared_from_this()));
  }

  void onWrite(ErrorCode error, std::size_t) {
    writing_ = false;
    if (error) {
      writeFailed_ = true;
      outbox_.clear();
      if (!ended_ && !cut_) {
        if (auto events = sink()) events->onWriteFailure(classify(error));
      }
      return;
    }
    outbox_.pop_front();
    if (cut_ || ended_) return outbox_.clear();
    if (!outbox_.empty()) return writeNext();
    if (closeRequested_ && !closing_) beginClose();
  }

  void beginClose() {
    closing_ = true;
    ws_.async_close(closeReason_,
                    boost::beast::bind_front_handler(&WebSocketSession::onClosed, this->shared_from_this()));
  }

  void onClosed(ErrorCode error) {
    closeDone_ = true;
    if (error) closeError_ = error;
    // The read that would report the ending is over (or was never started).
    if (started_ && (!reading_ || readEnded_)) finish(closeOutcome());
  }

  void finish(ConnectionEnd end) {
    if (ended_) return;
    ended_ = true;
    dropQueued();
    if (auto events = events_.lock()) events->onEnd(end);
  }

  std::shared_ptr<void> keepAlive_;
  Stream ws_;
  UpgradeResponse response_;
  boost::beast::flat_buffer buffer_;
  std::weak_ptr<ConnectionEvents> events_;
  std::deque<std::string> outbox_;
  boost::beast::websocket::close_reason closeReason_;
  std::optional<ErrorCode> closeError_;
  std::optional<ErrorCode> readError_;
  bool started_ = false;
  bool reading_ = false;
  bool writing_ = false;
  bool writeFailed_ = false;
  bool closeRequested_ = false;
  bool closing_ = false;
  bool closeDone_ = false;
  bool readEnded_ = false;
  bool cut_ = false;
  bool ended_ = false;
};

}  // namespace zirudeze::realtime::transport
