#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include "testsupport/RecordedRequest.hpp"

namespace velmoria::testsupport {

// A connection whose request asked for an upgrade, as the fake backend hands it to its upgrade hook.
// Everything stays valid until the hook returns; the backend closes the socket afterwards.
struct ConnectionUpgrade {
  boost::asio::ip::tcp::socket& socket;
  boost::beast::flat_buffer& buffer;  // bytes read past the request
  const boost::beast::http::request<boost::beast::http::string_body>& request;
  const RecordedRequest& recorded;
};

}  // namespace velmoria::testsupport
