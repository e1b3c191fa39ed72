#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "helpers/ZirudezeLogger.hpp"

namespace zirudeze::helpers {

// Keeps every record it is given, for tests that read what was logged.
class CapturingLogger final : public ZirudezeLogger {
 public:
  void log(const ZirudezeLogMessage& message) const override {
    std::lock_guard lock(mutex_);
    records_.push_back(message);
  }

  std::vector<ZirudezeLogMessage> records() const {
    std::lock_guard lock(mutex_);
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
  mutable std::mutex mutex_;
  mutable std::vector<ZirudezeLogMessage> records_;
};

}  // namespace zirudeze::helpers
