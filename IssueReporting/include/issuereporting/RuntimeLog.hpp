#pragma once

#include <memory>
#include <string>

namespace zirudeze::issuereporting {

enum class LogType { info, fault };

struct LogRecord {
  LogType type;
  std::string subsystem;
  std::string category;
  std::string text;
};

// Where runtime warnings are written; the system log in the program, a capture in tests.
class RuntimeLog {
 public:
  virtual ~RuntimeLog() = default;
  virtual void write(const LogRecord& record) const = 0;
};

// syslog(3): fault records at LOG_CRIT, info records at LOG_INFO; the text is never a format.
std::shared_ptr<const RuntimeLog> systemRuntimeLog();

}  // namespace zirudeze::issuereporting
