#pragma once

#include <string>
#include <string_view>

namespace velmoria::filter {

enum class LogLevel { debug, info, standard, error, fault };

// Where the filter's records go. Implementations must accept calls from several threads at once.
class FilterLog {
 public:
  virtual ~FilterLog() = default;
  virtual void log(LogLevel level, std::string_view message) = 0;
};

// The system log: each record carries the subsystem and category; the text is never a format.
class SyslogFilterLog final : public FilterLog {
 public:
  SyslogFilterLog(std::string subsystem, std::string category);
  void log(LogLevel level, std::string_view message) override;

 private:
  std::string prefix_;
};

// Drops every record (benchmarks).
class NullFilterLog final : public FilterLog {
 public:
  void log(LogLevel, std::string_view) override {}
};

}  // namespace velmoria::filter
