// Loopback echo through the fake backend's echo route: URLSessionWebSocket (one process-wide I/O
// thread, events handed to the caller through a stream) next to a bare synchronous Beast client on the
// same route. One message in flight at a time; the round-trip percentiles are reported as counters.
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>

#include "concurrency/AsyncStream.hpp"
#include "realtime/URLSessionWebSocket.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeWebSockets.hpp"

namespace {

namespace net = boost::asio;
namespace websocket = boost::beast::websocket;
using Clock = std::chrono::steady_clock;
using zirudeze::concurrency::AsyncStream;
using zirudeze::realtime::URLSessionWebSocket;
using zirudeze::realtime::WebSocketEvent;

struct EchoServer {
  EchoServer() {
    velmoria::testsupport::WebSocketRouteOptions options;
    options.echo = true;
    options.keepFrames = false;
    sockets.route("/echo", options);
  }
  velmoria::testsupport::FakeBackend backend;
  velmoria::testsupport::FakeWebSockets sockets{backend};
};

EchoServer& server() {
  static EchoServer* const instance = new EchoServer();
  return *instance;
}

void report(benchmark::State& state, std::vector<double>& roundTrips, std::size_t size) {
  std::sort(roundTrips.begin(), roundTrips.end());
  const auto at = [&](double share) { return roundTrips[static_cast<std::size_t>(share * (roundTrips.size() - 1))]; };
  state.counters["p50_us"] = at(0.50);
  state.counters["p99_us"] = at(0.99);
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

void BM_EchoURLSessionWebSocket(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  // Echoed texts reach the waiting benchmark thread through a stream, as the realtime client's messages
  // reach its message loop.
  auto [texts, continuation] =
      AsyncStream<std::string>::makeStream(zirudeze::concurrency::BufferingPolicy::unbounded());
  auto socket = URLSessionWebSocket::connect(*velmoria::base::URL::parse(server().sockets.url("/echo")));
  socket->setOnEvent([continuation = continuation](const WebSocketEvent& event) {
    if (const auto* text = event.asText()) continuation.yield(text->text);
  });
  const std::string payload(size, 'e');
  std::vector<double> roundTrips;
  for (auto _ : state) {
    const auto started = Clock::now();
    socket->send(payload);
    benchmark::DoNotOptimize(texts.next());
    roundTrips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - started).count());
  }
  socket->close(1000, "done");
  report(state, roundTrips, size);
}

// range(1): the write buffer Beast masks frames through (its default 4096, or the engine's 64 KiB).
void BM_EchoBareBeast(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  net::io_context io;
  websocket::stream<net::ip::tcp::socket> ws(io);
  net::ip::tcp::resolver resolver(io);
  net::connect(ws.next_layer(), resolver.resolve("127.0.0.1", std::to_string(server().backend.port())));
  ws.next_layer().set_option(net::ip::tcp::no_delay(true));
  ws.auto_fragment(false);
  ws.write_buffer_bytes(static_cast<std::size_t>(state.range(1)));
  ws.handshake("127.0.0.1", "/echo");
  ws.text(true);
  const std::string payload(size, 'e');
  boost::beast::flat_buffer buffer;
  std::vector<double> roundTrips;
  for (auto _ : state) {
    const auto started = Clock::now();
    ws.write(net::buffer(payload));
    ws.read(buffer);
    benchmark::DoNotOptimize(boost::beast::buffers_to_string(buffer.data()));
    buffer.consume(buffer.size());
    roundTrips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - started).count());
  }
  ws.close(websocket::close_code::normal);
  report(state, roundTrips, size);
}

BENCHMARK(BM_EchoURLSessionWebSocket)->Arg(200)->Arg(1 << 20)->UseRealTime();
BENCHMARK(BM_EchoBareBeast)->Args({200, 4096})->Args({1 << 20, 4096})->Args({1 << 20, 64 << 10})->UseRealTime();

}  // namespace
