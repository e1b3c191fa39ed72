#pragma once

#include <array>
#include <cstddef>
#include <limits>
#include <memory>
#include <utility>

#include <boost/asio/compose.hpp>
#include <boost/asio/error.hpp>
#include <boost/beast/core/basic_stream.hpp>
#include <boost/beast/core/role.hpp>

namespace zirudeze::realtime::transport {

// Beast 1.81's TCP teardown stops reading after the first chunk (it tests a stale byte count), then
// closes a socket that still holds unread data, which resets the connection: a peer that is still
// sending when we close or fail the connection (1009 on an oversized message) loses our close frame.
// A stream with this rate policy (as unlimited as Beast's own) finds the teardown below by
// argument-dependent lookup instead, which reads to the end before it closes. The WebSocket's own
// timer bounds it: it closes the socket when the closing handshake outlasts its limit.
struct DrainingRatePolicy {
  std::size_t available_read_bytes() const noexcept { return std::numeric_limits<std::size_t>::max(); }
  std::size_t available_write_bytes() const noexcept { return std::numeric_limits<std::size_t>::max(); }
  void transfer_read_bytes(std::size_t) const noexcept {}
  void transfer_write_bytes(std::size_t) const noexcept {}
  void on_timer() const noexcept {}
};

}  // namespace zirudeze::realtime::transport

namespace zirudeze::realtime::transport::detail {

template <class Socket>
struct DrainThenClose {
  boost::beast::role_type role;
  Socket& socket;
  std::unique_ptr<std::array<char, 4096>> buffer = std::make_unique<std::array<char, 4096>>();
  bool started = false;

  template <class Self>
  void operator()(Self& self, boost::system::error_code error = {}, std::size_t = 0) {
    boost::system::error_code ignored;
    if (!started) {
      started = true;
      if (role == boost::beast::role_type::server) socket.shutdown(Socket::shutdown_send, ignored);
    } else if (error) {
      if (role == boost::beast::role_type::client) socket.shutdown(Socket::shutdown_send, ignored);
      socket.close(ignored);
      return self.complete(error == boost::asio::error::eof ? boost::system::error_code() : error);
    }
    socket.async_read_some(boost::asio::buffer(*buffer), std::move(self));
  }
};

}  // namespace zirudeze::realtime::transport::detail

namespace zirudeze::realtime::transport {

template <class Protocol, class Executor, class Handler>
auto async_teardown(boost::beast::role_type role,
                    boost::beast::basic_stream<Protocol, Executor, DrainingRatePolicy>& stream, Handler&& handler) {
  using Socket = typename boost::beast::basic_stream<Protocol, Executor, DrainingRatePolicy>::socket_type;
  return boost::asio::async_compose<Handler, void(boost::system::error_code)>(
      detail::DrainThenClose<Socket>{role, stream.socket()}, handler, stream.socket());
}

}  // namespace zirudeze::realtime::transport
