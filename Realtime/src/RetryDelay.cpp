#include "RetryDelay.hpp"

namespace zirudeze::realtime::detail {

double retryDelay(std::int64_t attempt) {
  thread_local std::mt19937_64 source{std::random_device{}()};
  return retryDelay(attempt, source);
}

}  // namespace zirudeze::realtime::detail
