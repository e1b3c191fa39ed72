// Bytes from a server after a proper upgrade reply, fed through an in-memory stream into the
// WebSocket engine: whatever they hold, the connection ends exactly once and nothing breaks.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <boost/asio/io_context.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/_experimental/test/stream.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <openssl/sha.h>

#include "base/Base64.hpp"
#include "realtime/transport/WebSocketSession.hpp"

namespace {

namespace beast = boost::beast;
using namespace zirudeze::realtime::transport;
using Session = WebSocketSession<beast::test::stream>;

struct Counting : ConnectionEvents {
  std::shared_ptr<Session> session;
  int messages = 0;
  int ends = 0;

  void onText(std::string text) override {
    // Answering the first few exercises writes while frames keep arriving.
    if (++messages <= 3) session->sendText(std::move(text));
  }
  void onBinary(velmoria::base::Data) override { ++messages; }
  void onWriteFailure(const Failure&) override {}
  void onEnd(const ConnectionEnd&) override { ++ends; }
};

std::string acceptFor(std::string_view key) {
  const std::string joined = std::string(key) + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(joined.data()), joined.size(), digest);
  return velmoria::base::base64Encode(velmoria::base::Data(digest, digest + sizeof digest));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  boost::asio::io_context io;
  beast::test::stream client(io);
  beast::test::stream server(io);
  client.connect(server);
  auto session = std::make_shared<Session>(nullptr, std::chrono::milliseconds(50), std::move(client));
  auto events = std::make_shared<Counting>();
  events->session = session;

  HandshakeRequest request{*velmoria::base::URL::parse("ws://localhost/socket"), {{"apikey", "key"}}, {}, {}, {}};
  bool opened = false;
  session->handshake(request, "localhost", "/socket", [&](ErrorCode error, const UpgradeResponse&) {
    opened = !error;
    if (opened) session->start(events);
  });
  io.poll();

  beast::flat_buffer buffer;
  beast::http::request<beast::http::string_body> upgrade;
  ErrorCode error;
  beast::http::read(server, buffer, upgrade, error);
  if (error) __builtin_trap();
  const std::string reply =
      "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
      "Sec-WebSocket-Accept: " +
      acceptFor(upgrade[beast::http::field::sec_websocket_key]) + "\r\n\r\n";
  boost::asio::write(server, boost::asio::buffer(reply), error);
  boost::asio::write(server, boost::asio::buffer(bytes, size), error);
  server.close();
  io.run();

  if (!opened || events->ends != 1) __builtin_trap();
  events->session.reset();
  return 0;
}
