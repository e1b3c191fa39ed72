#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/ThreadSafety.hpp"

namespace velmoria::platform {

enum class LogLevel { debug, info, notice, warning, error, fault };

// The system log. Every record carries its subsystem and category; the message is plain text.
class SystemLog {
 public:
  virtual ~SystemLog() = default;
  virtual void log(LogLevel level, std::string_view subsystem, std::string_view category, std::string_view message) = 0;
};

// syslog(3), as "[subsystem:category] message"; the text is never used as a format.
class Syslog final : public SystemLog {
 public:
  void log(LogLevel level, std::string_view subsystem, std::string_view category, std::string_view message) override;
};

// Keeps the records for tests.
class CapturedLog final : public SystemLog {
 public:
  struct Record {
    LogLevel level;
    std::string subsystem;
    std::string category;
    std::string message;
  };
  void log(LogLevel level, std::string_view subsystem, std::string_view category, std::string_view message) override;
  std::vector<Record> records() const;

 private:
  mutable base::Mutex mutex_;
  std::vector<Record> records_ VM_GUARDED_BY(mutex_);
};

// The process-wide syslog.
SystemLog& systemLog();

}  // namespace velmoria::platform
