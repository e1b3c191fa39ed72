#include "realtime/transport/IoThread.hpp"

#include <chrono>
#include <thread>

#include <boost/asio/executor_work_guard.hpp>

namespace zirudeze::realtime::transport {

namespace {

thread_local bool isIoThread = false;

// After running a handler the thread keeps polling this long before it sleeps. What follows closely (the
// reply to a frame just written, the next send of a caller answering what it was handed) is then taken
// without waking the thread, which otherwise costs two wake-ups per round trip. The price is at most
// this much of one core after each burst of traffic.
constexpr std::chrono::microseconds kLinger{100};

// Runs handlers until the context stops, polling for kLinger after each before it waits.
void serve(boost::asio::io_context& context) {
  using Clock = std::chrono::steady_clock;
  while (context.run_one() > 0) {
    auto until = Clock::now() + kLinger;
    while (Clock::now() < until) {
      if (context.poll() > 0) until = Clock::now() + kLinger;
    }
  }
}

struct Runner {
  boost::asio::io_context context{1};
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work{context.get_executor()};

  Runner() {
    std::thread([this] {
      isIoThread = true;
      for (;;) {
        try {
          serve(context);
          return;
        } catch (...) {
          // A throwing handler must not take every socket of the process down with it.
        }
      }
    }).detach();
  }
};

}  // namespace

boost::asio::io_context& ioContext() {
  // Made once and kept to the end of the process: sockets may still be in flight at exit.
  static Runner* const runner = new Runner();
  return runner->context;
}

bool onIoThread() noexcept { return isIoThread; }

}  // namespace zirudeze::realtime::transport
