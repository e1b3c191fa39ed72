#pragma once

#include "velmoria_filter/FilterLog.hpp"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace velmoria::filter::testing {

class RecordingLog final : public FilterLog {
 public:
  void log(LogLevel level, std::string_view message) override {
    const std::lock_guard lock(mutex_);
    records_.emplace_back(level, std::string(message));
  }
  std::vector<std::string> messages() const {
    const std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& record : records_) out.push_back(record.second);
    return out;
  }
  std::vector<std::pair<LogLevel, std::string>> records() const {
    const std::lock_guard lock(mutex_);
    return records_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<LogLevel, std::string>> records_;
};

}  // namespace velmoria::filter::testing
