#pragma once

#include <boost/asio/io_context.hpp>

namespace zirudeze::realtime::transport {

// The one I/O context every realtime socket of the process runs on, served by one thread that starts
// on first use and is never joined (handlers keep their sessions alive, so nothing waits on itself).
boost::asio::io_context& ioContext();

// True on that thread.
bool onIoThread() noexcept;

}  // namespace zirudeze::realtime::transport
