#pragma once

#include <string>
#include <vector>

#include "base/ThreadSafety.hpp"
#include "helpers/ZirudezeLogger.hpp"

namespace zirudeze::helpers {

// Keeps every record it is given, for tests that read what was logged.
class CapturingLogger final : public ZirudezeLogger {
 public:
  void log(const ZirudezeLogMessage& message) const override {
    const velmoria::base::MutexLock lock(mutex_);
    records_.push_back(message);
  }

  std::vector<ZirudezeLogMessage> records() const {
    const velmoria::base::MutexLock lock(mutex_);
    return records_;
  }

  // The records' texts, in order.
  std::vector<std::string> messages() const {
    std::vector<std::string> texts;
    for (const auto& record : records()) texts.push_back(record.message);
    return texts;
  }

  std::vector<ZirudezeLogMessage> errors() const {
    std::vector<ZirudezeLogMessage> found;
    for (const auto& record : records())
      if (record.level == ZirudezeLogLevel::error) found.push_back(record);
    return found;
  }

 private:
  mutable velmoria::base::Mutex mutex_;
  mutable std::vector<ZirudezeLogMessage> records_ VM_GUARDED_BY(mutex_);
};

}  // namespace zirudeze::helpers
