#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <functional>
#include <thread>

namespace velmoria::testing {

// Runs the event loop until `condition` holds or the time is up; answers the condition. The limit is
// time, never a count of turns: a turn with nothing to do returns at once, so a count ends early on a busy
// machine, before a worker thread has even run.
inline bool processUntil(const std::function<bool()>& condition,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > timeout.count()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    // Lets a worker that posts to this loop run instead of a spin.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Runs the event loop for a while, for things that must not happen.
inline void processFor(std::chrono::milliseconds duration) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < duration.count()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace velmoria::testing
