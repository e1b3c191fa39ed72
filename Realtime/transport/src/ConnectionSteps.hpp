#pragma once

#include <algorithm>
#include <memory>
#include <type_traits>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include "Connector.hpp"
#include "TLSContext.hpp"
#include "realtime/transport/DrainingTeardown.hpp"
#include "realtime/transport/IoThread.hpp"
#include "realtime/transport/WebSocketSession.hpp"

namespace zirudeze::realtime::transport::detail {

using tcp = boost::asio::ip::tcp;
// The I/O context has one thread, so its own executor already runs a connection's work one piece at a
// time; a strand over it would only add a lock and a queue hop to every send and completion.
using Executor = boost::asio::io_context::executor_type;
using PlainLayer = boost::beast::basic_stream<tcp, Executor, DrainingRatePolicy>;
using SecureLayer = boost::beast::ssl_stream<PlainLayer>;

bool isCertificateCode(helpers::URLError::Code code);

template <class NextLayer>
class Connector final : public PendingConnect, public std::enable_shared_from_this<Connector<NextLayer>> {
 public:
  using Session = WebSocketSession<NextLayer>;

  Connector(HandshakeRequest request, Endpoint endpoint, Completion completion)
      : request_(std::move(request)),
        endpoint_(std::move(endpoint)),
        completion_(std::move(completion)),
        executor_(ioContext().get_executor()),
        resolver_(executor_),
        deadline_(executor_) {
    if constexpr (std::is_same_v<NextLayer, SecureLayer>) {
      auto tls = clientTLSContext();
      auto& context = *tls;
      session_ = std::make_shared<Session>(std::move(tls), request_.handshakeLimit, executor_, context);
    } else {
      session_ = std::make_shared<Session>(nullptr, request_.handshakeLimit, executor_);
    }
  }

  void run() {
    boost::asio::post(executor_, [self = this->shared_from_this()] {
      self->deadline_.expires_after(self->request_.handshakeLimit);
      // The deadline and a cancel end the attempt themselves, whether or not a step is in flight to
      // notice: no connect can outlast them.
      self->deadline_.async_wait([self](boost::system::error_code error) {
        if (error || self->done_) return;
        self->timedOut_ = true;
        self->abortSteps();
        self->fail({});
      });
      self->resolver_.async_resolve(self->endpoint_.host, self->endpoint_.port,
                                    [self](boost::system::error_code error, tcp::resolver::results_type results) {
                                      self->onResolved(error, std::move(results));
                                    });
    });
  }

  void cancel() override {
    boost::asio::post(executor_, [self = this->shared_from_this()] {
      if (self->done_) return;
      self->cancelled_ = true;
      self->abortSteps();
      self->fail({});
    });
  }

 private:
  void abortSteps() {
    resolver_.cancel();
    boost::beast::get_lowest_layer(session_->stream()).close();
  }

  void onResolved(boost::system::error_code error, tcp::resolver::results_type results) {
    if (error || interrupted()) return fail(error);
    boost::beast::get_lowest_layer(session_->stream())
        .async_connect(results,
                       [self = this->shared_from_this()](boost::system::error_code failure, const tcp::endpoint&) {
                         self->onConnected(failure);
                       });
  }

  void onConnected(boost::system::error_code error) {
    if (error || interrupted()) return fail(error);
    boost::beast::get_lowest_layer(session_->stream()).socket().set_option(tcp::no_delay(true), error);
    if constexpr (std::is_same_v<NextLayer, SecureLayer>) {
      auto& tls = session_->stream().next_layer();
      SSL* ssl = tls.native_handle();
      bool named = false;
      if (endpoint_.ipLiteral) {
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), endpoint_.host.c_str()) == 1;
      } else {
        named = SSL_set_tlsext_host_name(ssl, endpoint_.host.c_str()) == 1 &&
                SSL_set1_host(ssl, endpoint_.host.c_str()) == 1;
      }
      if (!named) return fail(boost::asio::error::invalid_argument);
      tls.async_handshake(
          boost::asio::ssl::stream_base::client, [self = this->shared_from_this()](boost::system::error_code failure) {
            if (failure || self->interrupted()) {
              const long verified = SSL_get_verify_result(self->session_->stream().next_layer().native_handle());
              return self->fail(failure, verified);
            }
            self->upgrade();
          });
    } else {
      upgrade();
    }
  }

  void upgrade() {
    session_->handshake(
        request_, endpoint_.hostField, endpoint_.target,
        [self = this->shared_from_this()](boost::system::error_code error, const UpgradeResponse& response) {
          self->onUpgraded(error, response);
        });
  }

  void onUpgraded(boost::system::error_code error, const UpgradeResponse& response) {
    const bool answered = response.result_int() != 0;
    std::optional<helpers::HTTPURLResponse> reply;
    if (answered) reply = responseValue(response, request_.url.absoluteString());
    if (error || interrupted()) return fail(error, std::nullopt, std::move(reply));
    std::optional<std::string> protocol;
    if (const auto chosen = response.find(boost::beast::http::field::sec_websocket_protocol);
        chosen != response.end()) {
      protocol = std::string(chosen->value());
      const auto& offered = request_.subprotocols;
      if (std::find(offered.begin(), offered.end(), *protocol) == offered.end()) {
        session_->cut();
        Failure failure{FailureKind::other, "the server chose a subprotocol that was not offered",
                        helpers::URLError::Code::badServerResponse};
        return finish(ConnectFailure{std::move(failure), std::move(reply)});
      }
    }
    finish(Opened{session_, std::move(protocol), std::move(*reply)});
  }

  bool interrupted() const { return cancelled_ || timedOut_; }

  void fail(boost::system::error_code error, std::optional<long> verified = std::nullopt,
            std::optional<helpers::HTTPURLResponse> reply = std::nullopt) {
    Failure failure;
    if (timedOut_) {
      failure = classify(boost::beast::error::timeout);
    } else if (cancelled_) {
      failure = classify(boost::asio::error::operation_aborted);
    } else {
      failure = classify(error, verified);
      // Whatever ends a TLS handshake early (a server that speaks no TLS) is a failed secure connection.
      if (verified && failure.urlCode != helpers::URLError::Code::cancelled &&
          failure.urlCode != helpers::URLError::Code::timedOut && !isCertificateCode(failure.urlCode)) {
        failure.urlCode = helpers::URLError::Code::secureConnectionFailed;
      }
    }
    boost::beast::get_lowest_layer(session_->stream()).close();
    finish(ConnectFailure{std::move(failure), std::move(reply)});
  }

  void finish(ConnectOutcome outcome) {
    if (done_) return;
    done_ = true;
    deadline_.cancel();
    auto completion = std::move(completion_);
    completion(std::move(outcome));
  }

  HandshakeRequest request_;
  Endpoint endpoint_;
  Completion completion_;
  Executor executor_;
  tcp::resolver resolver_;
  boost::asio::steady_timer deadline_;
  std::shared_ptr<Session> session_;
  bool done_ = false;
  bool cancelled_ = false;
  bool timedOut_ = false;
};

template <class NextLayer>
std::shared_ptr<PendingConnect> launch(HandshakeRequest request, Endpoint endpoint, Completion completion) {
  auto connector =
      std::make_shared<Connector<NextLayer>>(std::move(request), std::move(endpoint), std::move(completion));
  connector->run();
  return connector;
}

}  // namespace zirudeze::realtime::transport::detail
