#include "platform/SystemLog.hpp"

#include <syslog.h>

namespace velmoria::platform {
namespace {

int priority(LogLevel level) {
  switch (level) {
    case LogLevel::debug:
      return LOG_DEBUG;
    case LogLevel::info:
      return LOG_INFO;
    case LogLevel::notice:
      return LOG_NOTICE;
    case LogLevel::warning:
      return LOG_WARNING;
    case LogLevel::error:
      return LOG_ERR;
    case LogLevel::fault:
      return LOG_CRIT;
  }
  return LOG_NOTICE;
}

}  // namespace

void Syslog::log(LogLevel level, std::string_view subsystem, std::string_view category, std::string_view message) {
  std::string line;
  line.reserve(subsystem.size() + category.size() + message.size() + 4);
  line += '[';
  line += subsystem;
  line += ':';
  line += category;
  line += "] ";
  line += message;
  ::syslog(LOG_USER | priority(level), "%s", line.c_str());
}

void CapturedLog::log(LogLevel level, std::string_view subsystem, std::string_view category, std::string_view message) {
  const base::MutexLock lock(mutex_);
  records_.push_back({level, std::string(subsystem), std::string(category), std::string(message)});
}

std::vector<CapturedLog::Record> CapturedLog::records() const {
  const base::MutexLock lock(mutex_);
  return records_;
}

SystemLog& systemLog() {
  static Syslog instance;
  return instance;
}

}  // namespace velmoria::platform
