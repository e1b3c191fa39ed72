#include "realtime/transport/IoThread.hpp"

#include <pthread.h>

#include <thread>

#include <boost/asio/executor_work_guard.hpp>

namespace zirudeze::realtime::transport {

namespace {

thread_local bool isIoThread = false;

struct Runner {
  boost::asio::io_context context{1};
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work{context.get_executor()};

  Runner() {
    std::thread([this] {
      // Named, so a profile or a benchmark can tell its time from the callers'.
      pthread_setname_np(pthread_self(), "realtime-io");
      isIoThread = true;
      for (;;) {
        try {
          context.run();
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
