#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <type_traits>
#include <utility>

#include "SerialDelivery.hpp"
#include "base/ThreadSafety.hpp"
#include "realtime/legacy/Delegated.hpp"

namespace zirudeze::realtime {

// The one recursive mutex of a legacy socket, shared with its channels, pushes, presence and timer work:
// transport reports, timer work and callers' calls each run holding it, and none of them ever waits for
// an application's code meanwhile. The application's callbacks are called out instead (callOut): they
// run one at a time, in the order they were called out, with no thread holding the mutex for them, once
// the thread that called them out let go of every level it held:
// - on that thread, when no callback of the socket is running then, so a call's callbacks have run when
//   it returns;
// - otherwise after the running ones, on a task thread;
// - on a task thread too when that thread delivers the legacy transport's reports, so a callback that
//   waits (a typed send waiting for its reply) never holds up the reports it waits for, or runs callbacks
//   already (another socket's).
class VM_CAPABILITY("mutex") SocketMutex {
 public:
  void lock() VM_ACQUIRE();
  // The outermost release runs the callbacks this thread called out, as above.
  void unlock() VM_RELEASE();
  // Only the holder can see itself here.
  bool heldByCurrentThread() const noexcept;

  // Takes the mutex for the call, so a callback called out where it was not held runs at once unless
  // others run.
  void callOut(std::function<void()> callback);

 private:
  std::recursive_mutex mutex_;
  int depth_ = 0;
  bool calledOut_ = false;
  std::atomic<std::thread::id> holder_{};
  const std::shared_ptr<SerialDelivery> callbacks_ = std::make_shared<SerialDelivery>();
};

using SocketLock = velmoria::base::BasicMutexLock<SocketMutex>;

// An application's callback as the socket keeps it: called (by the socket, holding its mutex), it calls
// `callback` out with copies of the arguments. Whether its owner is still there is asked when it runs.
template <class... Inputs>
Delegated<void(Inputs...)> calledOut(const std::shared_ptr<SocketMutex>& mutex, Delegated<void(Inputs...)> callback) {
  Delegated<void(Inputs...)> out;
  if (!callback.isBound()) return out;
  out.bindDirect([mutex = std::weak_ptr<SocketMutex>(mutex), callback = std::move(callback)](Inputs... inputs) {
    const auto held = mutex.lock();
    if (!held) return;
    held->callOut([callback, arguments = std::make_tuple(std::decay_t<Inputs>(inputs)...)] {
      std::apply([&](const auto&... values) { callback.call(values...); }, arguments);
    });
  });
  return out;
}

// The same for a plain function.
template <class... Inputs>
std::function<void(Inputs...)> calledOut(const std::shared_ptr<SocketMutex>& mutex,
                                         std::function<void(Inputs...)> callback) {
  if (!callback) return nullptr;
  Delegated<void(Inputs...)> delegate;
  delegate.bindDirect(std::move(callback));
  return [out = calledOut(mutex, std::move(delegate))](Inputs... inputs) { out.call(inputs...); };
}

}  // namespace zirudeze::realtime
