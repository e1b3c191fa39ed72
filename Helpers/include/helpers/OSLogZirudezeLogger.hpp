#pragma once

#include <string>

#include "helpers/ZirudezeLogger.hpp"

namespace zirudeze::helpers {

// Where system-log records go: the creator names the subsystem and category.
struct SystemLog {
  std::string subsystem;
  std::string category;
};

// Writes each message's text form to the system log (syslog), at the priority its level maps to:
// verbose info, debug debug, warning notice, error err. Priorities masked out are skipped.
class OSLogZirudezeLogger final : public ZirudezeLogger {
 public:
  explicit OSLogZirudezeLogger(SystemLog logger);

  void log(const ZirudezeLogMessage& message) const override;

  const SystemLog logger;
};

// The syslog priority of a level.
int systemLogPriority(ZirudezeLogLevel level) noexcept;

}  // namespace zirudeze::helpers
