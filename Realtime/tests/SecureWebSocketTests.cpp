#include <gtest/gtest.h>

#include "TransportTestSupport.hpp"
#include "helpers/URLError.hpp"
#include "realtime/legacy/URLSessionTransport.hpp"
#include "testsupport/FakeTLSFront.hpp"
#include "testsupport/ScopedEnvironment.hpp"
#include "testsupport/ScratchFolder.hpp"
#include "testsupport/TestCertificateAuthority.hpp"

namespace zirudeze::realtime {
namespace {

using namespace std::chrono_literals;
using testing::EventLog;
using testing::url;
using velmoria::testsupport::FakeBackend;
using velmoria::testsupport::FakeTLSFront;
using velmoria::testsupport::FakeWebSockets;
using velmoria::testsupport::ScopedEnvironment;
using velmoria::testsupport::TestCertificateAuthority;

class SecureWebSocket : public ::testing::Test {
 protected:
  void SetUp() override {
    sockets.route("/echo", [] {
      velmoria::testsupport::WebSocketRouteOptions options;
      options.echo = true;
      return options;
    }());
  }

  static helpers::URLError::Code causeOf(const std::string& text) {
    try {
      URLSessionWebSocket::connect(url(text), std::nullopt, testing::quickConfiguration());
    } catch (const WebSocketError& error) {
      try {
        std::rethrow_exception(error.underlying());
      } catch (const helpers::URLError& cause) {
        return cause.code();
      }
    }
    ADD_FAILURE() << "connected to " << text;
    return helpers::URLError::Code::unknown;
  }

  TestCertificateAuthority authority{"velmoria test authority"};
  velmoria::testsupport::ScratchFolder folder{"velmoria-tls"};
  ScopedEnvironment trust{"SSL_CERT_FILE", folder.write("authority.pem", authority.certificatePem()).string()};
  FakeBackend backend;
  FakeWebSockets sockets{backend};
  FakeTLSFront front{backend, authority.issue({"localhost"})};
  std::shared_ptr<EventLog> log = std::make_shared<EventLog>();
};

TEST_F(SecureWebSocket, ATrustedCertificateForTheNameCarriesTheConversation) {
  auto socket = URLSessionWebSocket::connect(url(front.url("/echo")), std::nullopt, testing::quickConfiguration());
  socket->setOnEvent(log->handler());
  const std::string large(200 * 1024, 's');
  socket->send("over tls");
  socket->send(large);
  ASSERT_TRUE(log->waitFor(2));
  EXPECT_EQ(log->events(),
            (std::vector<WebSocketEvent>{WebSocketEvent::text("over tls"), WebSocketEvent::text(large)}));
  EXPECT_EQ(sockets.waitForPeer()->upgrade().header("Host"), "localhost:" + std::to_string(front.port()));
  socket->close(1000, "done");
  ASSERT_TRUE(log->waitForClose());
  EXPECT_EQ(log->events().back().asClose()->code, 1000);
}

TEST_F(SecureWebSocket, ACertificateForAnotherNameIsRefused) {
  EXPECT_EQ(causeOf(front.url("/echo", "127.0.0.1")), helpers::URLError::Code::serverCertificateUntrusted);
  EXPECT_EQ(backend.requestCount(), 0u);
}

TEST_F(SecureWebSocket, AnAuthorityOutsideTheTrustStoreIsRefused) {
  const velmoria::testsupport::ScratchFolder empty{"velmoria-no-authorities"};
  const ScopedEnvironment noFile("SSL_CERT_FILE", (empty.path() / "none.pem").string());
  const ScopedEnvironment noFolder("SSL_CERT_DIR", empty.path().string());
  EXPECT_EQ(causeOf(front.url("/echo")), helpers::URLError::Code::serverCertificateHasUnknownRoot);
}

TEST_F(SecureWebSocket, APlainServerOnTheTLSPortFailsTheHandshake) {
  EXPECT_EQ(causeOf("wss://127.0.0.1:" + std::to_string(backend.port()) + "/echo"),
            helpers::URLError::Code::secureConnectionFailed);
}

TEST_F(SecureWebSocket, ADroppedTLSConnectionClosesWith1006) {
  auto socket = URLSessionWebSocket::connect(url(front.url("/echo")), std::nullopt, testing::quickConfiguration());
  socket->setOnEvent(log->handler());
  sockets.waitForPeer()->dropTCP();
  ASSERT_TRUE(log->waitForClose());
  EXPECT_EQ(log->events(), (std::vector<WebSocketEvent>{WebSocketEvent::close(1006, "Network connection lost")}));
}

class Opened : public SocketTransportDelegate {
 public:
  void onOpen(const std::optional<helpers::HTTPURLResponse>& response) override {
    std::lock_guard lock(mutex);
    status = response ? response->statusCode : -1;
    changed.notify_all();
  }
  void onError(const std::exception_ptr&, const std::optional<helpers::HTTPURLResponse>&) override {}
  void onMessage(const std::string&) override {}
  void onClose(int, const std::optional<std::string>&) override {}

  std::mutex mutex;
  std::condition_variable changed;
  int status = 0;
};

TEST_F(SecureWebSocket, TheLegacyTransportOpensAnHTTPSEndpointOverTLS) {
  auto delegate = std::make_shared<Opened>();
  URLSessionTransport transport(url(front.url("/echo", "localhost", "https")), testing::quickConfiguration());
  EXPECT_EQ(transport.url().scheme(), "wss");
  transport.setDelegate(delegate);
  transport.connect({});
  std::unique_lock lock(delegate->mutex);
  ASSERT_TRUE(delegate->changed.wait_for(lock, 5s, [&] { return delegate->status != 0; }));
  EXPECT_EQ(delegate->status, 101);
}

}  // namespace
}  // namespace zirudeze::realtime
