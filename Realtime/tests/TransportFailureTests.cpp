#include <string>
#include <vector>

#include <boost/asio/error.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/websocket/error.hpp>
#include <gtest/gtest.h>
#include <openssl/x509_vfy.h>

#include "WebSocketOver.hpp"
#include "realtime/transport/BeastFailures.hpp"

namespace zirudeze::realtime::transport {
namespace {

namespace net = boost::asio;
namespace websocket = boost::beast::websocket;
using Code = helpers::URLError::Code;

TEST(TransportFailureClasses, ErrorsSortByConditionIntoTheCloseTableRows) {
  const std::pair<boost::system::error_code, FailureKind> cases[] = {
      {net::error::not_connected, FailureKind::notConnected},
      {websocket::error::bad_frame_payload, FailureKind::protocolError},
      {websocket::error::bad_unmasked_frame, FailureKind::protocolError},
      {make_error_code(boost::system::errc::protocol_error), FailureKind::protocolError},
      {boost::beast::error::timeout, FailureKind::timedOut},
      {net::error::timed_out, FailureKind::timedOut},
      {net::error::eof, FailureKind::connectionLost},
      {net::error::connection_reset, FailureKind::connectionLost},
      {net::error::broken_pipe, FailureKind::connectionLost},
      {net::ssl::error::stream_truncated, FailureKind::connectionLost},
      {net::error::network_unreachable, FailureKind::noInternet},
      {net::error::host_unreachable, FailureKind::noInternet},
      {net::error::operation_aborted, FailureKind::aborted},
      {net::error::connection_refused, FailureKind::other},
      {websocket::error::message_too_big, FailureKind::other},
  };
  for (const auto& [error, kind] : cases) EXPECT_EQ(classify(error).kind, kind) << error.message();
  EXPECT_EQ(classify(net::error::eof).message, boost::system::error_code(net::error::eof).message());
}

TEST(TransportFailureClasses, ConnectFailuresCarryThePlatformsURLCodes) {
  EXPECT_EQ(classify(net::error::connection_refused).urlCode, Code::cannotConnectToHost);
  EXPECT_EQ(classify(net::error::host_not_found).urlCode, Code::cannotFindHost);
  EXPECT_EQ(classify(websocket::error::upgrade_declined).urlCode, Code::badServerResponse);
  EXPECT_EQ(classify(boost::beast::http::error::bad_version).urlCode, Code::badServerResponse);
  EXPECT_EQ(classify(boost::beast::http::error::end_of_stream).urlCode, Code::networkConnectionLost);
  EXPECT_EQ(classify(websocket::error::message_too_big).urlCode, Code::dataLengthExceedsMaximum);
  EXPECT_EQ(classify(net::error::operation_aborted).urlCode, Code::cancelled);
  const boost::system::error_code tls(1, net::error::get_ssl_category());
  EXPECT_EQ(classify(tls, X509_V_ERR_HOSTNAME_MISMATCH).urlCode, Code::serverCertificateUntrusted);
  EXPECT_EQ(classify(tls, X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY).urlCode, Code::serverCertificateHasUnknownRoot);
  EXPECT_EQ(classify(tls, X509_V_ERR_CERT_HAS_EXPIRED).urlCode, Code::serverCertificateHasBadDate);
  EXPECT_EQ(classify(tls, X509_V_OK).urlCode, Code::secureConnectionFailed);
  EXPECT_EQ(classify(tls).urlCode, Code::secureConnectionFailed);
}

TEST(TransportCloseCodes, OnlyCodesAFrameMayCarryAreSendable) {
  for (int code : {1000, 1001, 1003, 1007, 1011, 1014, 3000, 4999}) EXPECT_TRUE(isSendableCloseCode(code)) << code;
  for (int code : {999, 1004, 1005, 1006, 1015, 2999, 5000, 0}) EXPECT_FALSE(isSendableCloseCode(code)) << code;
}

// An open connection whose events the test raises by hand, as the I/O thread would.
class HandDrivenConnection final : public Connection {
 public:
  void start(std::weak_ptr<ConnectionEvents> events) override { events_ = std::move(events); }
  void sendText(std::string text) override { sent.push_back(std::move(text)); }
  void close(int, std::string) override {}
  void cut() override { ++cuts; }
  ConnectionEvents& events() const { return *events_.lock(); }

  std::vector<std::string> sent;
  int cuts = 0;

 private:
  std::weak_ptr<ConnectionEvents> events_;
};

const Failure notConnected{FailureKind::notConnected, "Transport endpoint is not connected",
                           Code::networkConnectionLost};

TEST(SocketEndings, AReadThatFindsTheSocketNotConnectedClosesWith1006AndTheErrorText) {
  const auto connection = std::make_shared<HandDrivenConnection>();
  const auto socket = webSocketOver(connection, std::nullopt);
  std::vector<WebSocketEvent> events;
  socket->setOnEvent([&events](const WebSocketEvent& event) { events.push_back(event); });

  connection->events().onEnd(ConnectionEnd{ConnectionEnd::Kind::failed, {}, notConnected});
  EXPECT_TRUE(socket->isClosed());
  EXPECT_EQ(socket->closeCode(), 1006);
  EXPECT_EQ(socket->closeReason(), "Transport endpoint is not connected");
  EXPECT_EQ(events, std::vector<WebSocketEvent>{WebSocketEvent::close(1006, "Transport endpoint is not connected")});
  EXPECT_EQ(connection->cuts, 1);
}

TEST(SocketEndings, OnlyASendThatFindsTheSocketNotConnectedIsIgnored) {
  const auto connection = std::make_shared<HandDrivenConnection>();
  const auto socket = webSocketOver(connection, std::nullopt);
  connection->events().onWriteFailure(notConnected);
  EXPECT_FALSE(socket->isClosed());
  socket->send("still open");
  EXPECT_EQ(connection->sent, std::vector<std::string>{"still open"});

  connection->events().onWriteFailure(Failure{FailureKind::connectionLost, "Broken pipe", Code::networkConnectionLost});
  EXPECT_TRUE(socket->isClosed());
  EXPECT_EQ(socket->closeCode(), 1006);
  EXPECT_EQ(socket->closeReason(), "Network connection lost");
}

}  // namespace
}  // namespace zirudeze::realtime::transport
