#include "velmoria_filter/FilterLog.hpp"

#include <syslog.h>

namespace velmoria::filter {
namespace {

int priorityOf(LogLevel level) {
  switch (level) {
    case LogLevel::debug:
      return LOG_DEBUG;
    case LogLevel::info:
      return LOG_INFO;
    case LogLevel::standard:
      return LOG_NOTICE;
    case LogLevel::error:
      return LOG_ERR;
    case LogLevel::fault:
      return LOG_CRIT;
  }
  return LOG_NOTICE;
}

}  // namespace

SyslogFilterLog::SyslogFilterLog(std::string subsystem, std::string category)
    : prefix_("[" + subsystem + ":" + category + "] ") {}

void SyslogFilterLog::log(LogLevel level, std::string_view message) {
  const auto record = prefix_ + std::string(message);
  syslog(priorityOf(level), "%s", record.c_str());
}

}  // namespace velmoria::filter
