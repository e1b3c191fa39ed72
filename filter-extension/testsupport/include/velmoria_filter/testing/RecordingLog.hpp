#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/ThreadSafety.hpp"
#include "velmoria_filter/FilterLog.hpp"

namespace velmoria::filter::testing {

class RecordingLog final : public FilterLog {
 public:
  void log(LogLevel level, std::string_view message) override {
    const base::MutexLock lock(mutex_);
    records_.emplace_back(level, std::string(message));
  }
  std::vector<std::string> messages() const {
    const base::MutexLock lock(mutex_);
    std::vector<std::string> out;
    for (const auto& record : records_) out.push_back(record.second);
    return out;
  }
  std::vector<std::pair<LogLevel, std::string>> records() const {
    const base::MutexLock lock(mutex_);
    return records_;
  }

 private:
  mutable base::Mutex mutex_;
  std::vector<std::pair<LogLevel, std::string>> records_ VM_GUARDED_BY(mutex_);
};

}  // namespace velmoria::filter::testing
