#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace zirudeze::realtime {

// A callback that points back at an object without keeping it alive: bound weakly to a target, it does
// nothing once the target is gone. Delegated<Output(Inputs...)>: `call` gives the output, or nothing when
// nothing is bound or the target is gone; with a void output it tells whether the callback ran.
template <class Signature>
class Delegated;

template <class Output, class... Inputs>
class Delegated<Output(Inputs...)> {
 public:
  using Result = std::conditional_t<std::is_void_v<Output>, bool, std::optional<Output>>;

  // `function` gets the target first; it is skipped once the target no longer exists.
  template <class Target, class Function>
  void bindWeak(const std::weak_ptr<Target>& target, Function function) {
    callback_ = [target, function = std::move(function)](Inputs... inputs) -> Result {
      const std::shared_ptr<Target> alive = target.lock();
      if (!alive) return Result{};
      if constexpr (std::is_void_v<Output>) {
        std::invoke(function, *alive, std::forward<Inputs>(inputs)...);
        return true;
      } else {
        return Result(std::invoke(function, *alive, std::forward<Inputs>(inputs)...));
      }
    };
  }

  template <class Function>
  void bindDirect(Function function) {
    callback_ = [function = std::move(function)](Inputs... inputs) -> Result {
      if constexpr (std::is_void_v<Output>) {
        std::invoke(function, std::forward<Inputs>(inputs)...);
        return true;
      } else {
        return Result(std::invoke(function, std::forward<Inputs>(inputs)...));
      }
    };
  }

  void unbind() noexcept { callback_ = nullptr; }
  bool isBound() const noexcept { return static_cast<bool>(callback_); }

  Result call(Inputs... inputs) const {
    if (!callback_) return Result{};
    return callback_(std::forward<Inputs>(inputs)...);
  }

 private:
  std::function<Result(Inputs...)> callback_;
};

}  // namespace zirudeze::realtime
