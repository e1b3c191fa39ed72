#include <chrono>
#include <cmath>

#include "base/Date.hpp"
#include "helpers/ISO8601Date.hpp"
#include "helpers/ZirudezeLogger.hpp"

namespace zirudeze::helpers {

std::optional<ZirudezeLogLevel> makeZirudezeLogLevel(int rawValue) noexcept {
  if (rawValue < 0 || rawValue > 3) return std::nullopt;
  return static_cast<ZirudezeLogLevel>(rawValue);
}

std::string_view description(ZirudezeLogLevel level) noexcept {
  switch (level) {
    case ZirudezeLogLevel::verbose:
      return "verbose";
    case ZirudezeLogLevel::debug:
      return "debug";
    case ZirudezeLogLevel::warning:
      return "warning";
    case ZirudezeLogLevel::error:
      return "error";
  }
  return "verbose";
}

std::string ZirudezeLogMessage::description() const {
  // Whole microseconds first: a double's nanoseconds would turn .250 into .249999.
  const auto micros = std::isfinite(timestamp) ? std::llround(timestamp * 1e6) : 0LL;
  const std::string date = formatISO8601Date(velmoria::base::Date(std::chrono::microseconds(micros)));
  std::string file = fileID.substr(0, fileID.find('.'));
  if (file.empty()) file = fileID;
  std::string text = date + " [" + std::string(helpers::description(level)) + "] [" + system + "] [" + file + "." +
                     function + ":" + std::to_string(line) + "] " + message;
  if (!additionalContext.empty()) {
    text += "\ncontext: [";
    bool first = true;
    for (const auto& [key, value] : additionalContext) {
      if (!first) text += ", ";
      first = false;
      text += "\"" + key + "\": " + value.description();
    }
    text += "]";
  }
  return text;
}

void ZirudezeLogMessage::encode(velmoria::base::Encoder& encoder) const {
  auto container = encoder.container();
  container.encode("system", system);
  container.encode("level", static_cast<int>(level));
  container.encode("message", message);
  container.encode("fileID", fileID);
  container.encode("function", function);
  container.encode("line", line);
  container.encode("timestamp", timestamp);
  container.encode("additionalContext", additionalContext);
}

ZirudezeLogMessage ZirudezeLogMessage::decode(const velmoria::base::Decoder& decoder) {
  const auto container = decoder.container();
  ZirudezeLogMessage message;
  message.system = container.decode<std::string>("system");
  const int raw = container.decode<int>("level");
  const auto level = makeZirudezeLogLevel(raw);
  if (!level) {
    throw container.dataCorrupted("level",
                                  "Cannot initialize ZirudezeLogLevel from invalid Int value " + std::to_string(raw));
  }
  message.level = *level;
  message.message = container.decode<std::string>("message");
  message.fileID = container.decode<std::string>("fileID");
  message.function = container.decode<std::string>("function");
  message.line = container.decode<std::uint64_t>("line");
  message.timestamp = container.decode<double>("timestamp");
  message.additionalContext = container.decode<JSONObject>("additionalContext");
  return message;
}

}  // namespace zirudeze::helpers
