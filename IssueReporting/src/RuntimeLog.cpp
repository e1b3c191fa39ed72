#include "issuereporting/RuntimeLog.hpp"

#include <syslog.h>

namespace zirudeze::issuereporting {

namespace {

class SystemRuntimeLog final : public RuntimeLog {
 public:
  void write(const LogRecord& record) const override {
    const int priority = record.type == LogType::fault ? LOG_CRIT : LOG_INFO;
    const std::string line = "[" + record.subsystem + "] [" + record.category + "] " + record.text;
    syslog(priority | LOG_USER, "%s", line.c_str());
  }
};

}  // namespace

std::shared_ptr<const RuntimeLog> systemRuntimeLog() {
  static const auto log = std::make_shared<const SystemRuntimeLog>();
  return log;
}

}  // namespace zirudeze::issuereporting
