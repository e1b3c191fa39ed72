#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "base/CodeLocation.hpp"
#include "base/Coding.hpp"
#include "concurrency/TaskLocal.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::helpers {

enum class ZirudezeLogLevel : int { verbose = 0, debug = 1, warning = 2, error = 3 };

// Nothing outside 0...3.
std::optional<ZirudezeLogLevel> makeZirudezeLogLevel(int rawValue) noexcept;
// "verbose", "debug", "warning", "error".
std::string_view description(ZirudezeLogLevel level) noexcept;

// One log record.
struct ZirudezeLogMessage {
  std::string system;
  ZirudezeLogLevel level = ZirudezeLogLevel::verbose;
  std::string message;
  std::string fileID;  // "Module/File.ext"
  std::string function;
  std::uint64_t line = 0;
  double timestamp = 0;  // seconds since 1970
  JSONObject additionalContext;

  // "<date> [<level>] [<system>] [<file>.<function>:<line>] <message>", plus "\ncontext: [...]" when
  // there is context.
  std::string description() const;

  void encode(velmoria::base::Encoder& encoder) const;
  static ZirudezeLogMessage decode(const velmoria::base::Decoder& decoder);

  friend bool operator==(const ZirudezeLogMessage&, const ZirudezeLogMessage&) = default;
};

// Where a message was logged from.
struct LogSite {
  std::string fileID;
  std::string function;
  std::uint64_t line = 0;

  // The module is the folder above the source's src/, include/ or tests/ folder ("Auth/SessionManager.cpp");
  // the function is its bare name with "()".
  static LogSite from(const velmoria::base::CodeLocation& location);
};

// Context carried by the current task into every message logged below it.
struct ZirudezeLoggerTaskLocal {
  static const TaskLocal<JSONObject>& slot();
  static const JSONObject& additionalContext() { return slot().get(); }

  // Runs `operation` with the current context merged with `context` (its keys win).
  template <class Operation>
  static decltype(auto) withValue(const JSONObject& context, Operation&& operation) {
    JSONObject merged = additionalContext();
    for (const auto& [key, value] : context) merged.insert_or_assign(key, value);
    return slot().withValue(std::move(merged), std::forward<Operation>(operation));
  }
};

// The pluggable logger of every backend client. Must be safe to call from any thread at once.
class ZirudezeLogger {
 public:
  virtual ~ZirudezeLogger() = default;
  virtual void log(const ZirudezeLogMessage& message) const = 0;

  // `message` is a text or a callable producing one; it is always produced (no level filter here).
  template <class Message>
  void verbose(Message&& message, const JSONObject& context = {},
               velmoria::base::CodeLocation location = velmoria::base::CodeLocation::current()) const {
    emit(ZirudezeLogLevel::verbose, text(std::forward<Message>(message)), LogSite::from(location), context);
  }
  template <class Message>
  void debug(Message&& message, const JSONObject& context = {},
             velmoria::base::CodeLocation location = velmoria::base::CodeLocation::current()) const {
    emit(ZirudezeLogLevel::debug, text(std::forward<Message>(message)), LogSite::from(location), context);
  }
  template <class Message>
  void warning(Message&& message, const JSONObject& context = {},
               velmoria::base::CodeLocation location = velmoria::base::CodeLocation::current()) const {
    emit(ZirudezeLogLevel::warning, text(std::forward<Message>(message)), LogSite::from(location), context);
  }
  template <class Message>
  void error(Message&& message, const JSONObject& context = {},
             velmoria::base::CodeLocation location = velmoria::base::CodeLocation::current()) const {
    emit(ZirudezeLogLevel::error, text(std::forward<Message>(message)), LogSite::from(location), context);
  }

  // Builds the record (system from the file identity, the time now, the task's context over `context`)
  // and hands it to log().
  void emit(ZirudezeLogLevel level, std::string message, const LogSite& site, const JSONObject& context = {}) const;

 private:
  template <class Message>
  static std::string text(Message&& message) {
    if constexpr (std::is_invocable_v<Message>) {
      return std::string(std::forward<Message>(message)());
    } else {
      return std::string(std::forward<Message>(message));
    }
  }
};

// Runs `operation` between "begin" and "end" debug messages at `site`, with "error: ..." when it throws.
template <class Operation>
decltype(auto) trace(const ZirudezeLogger* logger, const LogSite& site, Operation&& operation) {
  if (!logger) return std::forward<Operation>(operation)();
  logger->emit(ZirudezeLogLevel::debug, "begin", site);
  struct End {
    const ZirudezeLogger* logger;
    const LogSite* site;
    ~End() { logger->emit(ZirudezeLogLevel::debug, "end", *site); }
  } end{logger, &site};
  try {
    return std::forward<Operation>(operation)();
  } catch (const std::exception& failure) {
    logger->emit(ZirudezeLogLevel::debug, std::string("error: ") + failure.what(), site);
    throw;
  } catch (...) {
    logger->emit(ZirudezeLogLevel::debug, "error: unknown error", site);
    throw;
  }
}

// The same, at the caller's own site.
template <class Operation>
decltype(auto) trace(const ZirudezeLogger* logger, Operation&& operation,
                     velmoria::base::CodeLocation location = velmoria::base::CodeLocation::current()) {
  return trace(logger, LogSite::from(location), std::forward<Operation>(operation));
}

}  // namespace zirudeze::helpers
