#include "concurrency/StreamAdapters.hpp"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "base/Check.hpp"
#include "concurrency/CancellationError.hpp"
#include "concurrency/Task.hpp"

namespace zirudeze::concurrency {

void waitUntilCancelled(const std::stop_token& token) {
  const auto never = neverStream<AsyncStream<bool>>();
  never.next(token);
  throw CancellationError();
}

int detail::megaYieldCountFrom(const char* text) {
  constexpr int fallback = 20;
  if (text == nullptr || *text == '\0') return fallback;
  const char* first = text;
  const char* const last = text + std::strlen(text);
  // A leading '+' is part of a signed decimal integer; from_chars only takes '-'.
  if (*first == '+') {
    ++first;
    if (first == last || *first == '-') return fallback;
  }
  std::int64_t parsed = 0;
  const auto [end, error] = std::from_chars(first, last, parsed);
  if (error != std::errc() || end != last) return fallback;
  if (parsed < 1) return 0;
  if (parsed > 10000) return 10000;
  return static_cast<int>(parsed);
}

int megaYieldCount() {
  static const int count = detail::megaYieldCountFrom(std::getenv("TASK_MEGA_YIELD_COUNT"));
  return count;
}

void megaYield(int count) {
  VM_CHECK(count >= 0, "megaYield: count must not be negative (" + std::to_string(count) + ")");
  for (int round = 0; round < count; ++round) {
    Task<void>(TaskPriority::background, [] { std::this_thread::yield(); }).value();
  }
}

}  // namespace zirudeze::concurrency
