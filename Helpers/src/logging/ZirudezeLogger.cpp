#include "helpers/ZirudezeLogger.hpp"

#include <chrono>

namespace zirudeze::helpers {
namespace {

std::string moduleAndFile(std::string_view path) {
  const auto slash = path.rfind('/');
  const std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (slash == std::string_view::npos) return std::string(file);
  std::string_view folders = path.substr(0, slash);
  // Walk up past the layout folders (src/, include/<lib>/, tests/, and their subfolders) to the module.
  for (;;) {
    const auto cut = folders.rfind('/');
    const std::string_view last = cut == std::string_view::npos ? folders : folders.substr(cut + 1);
    if (last == "src" || last == "include" || last == "tests") {
      if (cut == std::string_view::npos) break;
      folders = folders.substr(0, cut);
      const auto moduleCut = folders.rfind('/');
      const std::string_view module = moduleCut == std::string_view::npos ? folders : folders.substr(moduleCut + 1);
      return std::string(module) + "/" + std::string(file);
    }
    if (cut == std::string_view::npos) break;
    folders = folders.substr(0, cut);
  }
  const auto cut = path.substr(0, slash).rfind('/');
  return std::string(path.substr(cut == std::string_view::npos ? 0 : cut + 1));
}

// "ns::Type::name(args)" (with return type and qualifiers around it) becomes "name()".
std::string bareFunctionName(std::string_view signature) {
  std::size_t depth = 0;
  std::size_t open = std::string_view::npos;
  for (std::size_t i = 0; i < signature.size(); ++i) {
    const char c = signature[i];
    if (c == '<') ++depth;
    if (c == '>' && depth > 0) --depth;
    if (c == '(' && depth == 0) {
      open = i;
      break;
    }
  }
  std::string_view head = signature.substr(0, open);
  const auto scope = head.rfind("::");
  if (scope != std::string_view::npos) head.remove_prefix(scope + 2);
  const auto space = head.rfind(' ');
  if (space != std::string_view::npos) head.remove_prefix(space + 1);
  return std::string(head) + "()";
}

}  // namespace

LogSite LogSite::from(const velmoria::base::CodeLocation& location) {
  return LogSite{moduleAndFile(location.file_name()), bareFunctionName(location.function_name()), location.line()};
}

const TaskLocal<JSONObject>& ZirudezeLoggerTaskLocal::slot() {
  static const TaskLocal<JSONObject> context{JSONObject{}};
  return context;
}

void ZirudezeLogger::emit(ZirudezeLogLevel level, std::string message, const LogSite& site,
                          const JSONObject& context) const {
  ZirudezeLogMessage record;
  std::string_view fileID = site.fileID;
  while (!fileID.empty() && fileID.front() == '/') fileID.remove_prefix(1);
  record.system = std::string(fileID.substr(0, fileID.find('/')));
  record.level = level;
  record.message = std::move(message);
  record.fileID = site.fileID;
  record.function = site.function;
  record.line = site.line;
  record.timestamp = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  record.additionalContext = context;
  for (const auto& [key, value] : ZirudezeLoggerTaskLocal::additionalContext()) {
    record.additionalContext.insert_or_assign(key, value);
  }
  log(record);
}

}  // namespace zirudeze::helpers
