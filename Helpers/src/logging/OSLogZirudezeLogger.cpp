#include "helpers/OSLogZirudezeLogger.hpp"

#include <syslog.h>

namespace zirudeze::helpers {

int systemLogPriority(ZirudezeLogLevel level) noexcept {
  switch (level) {
    case ZirudezeLogLevel::verbose:
      return LOG_INFO;
    case ZirudezeLogLevel::debug:
      return LOG_DEBUG;
    case ZirudezeLogLevel::warning:
      return LOG_NOTICE;
    case ZirudezeLogLevel::error:
      return LOG_ERR;
  }
  return LOG_INFO;
}

OSLogZirudezeLogger::OSLogZirudezeLogger(SystemLog logger) : logger(std::move(logger)) {}

void OSLogZirudezeLogger::log(const ZirudezeLogMessage& message) const {
  const std::string text = message.description();
  const int priority = systemLogPriority(message.level);
  // setlogmask(0) reads the mask without changing it.
  if ((setlogmask(0) & LOG_MASK(priority)) == 0) return;
  // The text is an argument, never the format.
  syslog(priority, "[%s:%s] %s", logger.subsystem.c_str(), logger.category.c_str(), text.c_str());
}

}  // namespace zirudeze::helpers
