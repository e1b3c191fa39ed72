#include "localbackend/Command.hpp"

#include <algorithm>
#include <cctype>
#include <vector>

#include "localbackend/Modes.hpp"

namespace velmoria::localbackend {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> found;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && isBlank(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !isBlank(line[i])) ++i;
    if (i > start) found.push_back(line.substr(start, i - start));
  }
  return found;
}

std::string lowerCased(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

}  // namespace

std::variant<Command, std::string> parseCommand(std::string_view line) {
  const auto parts = words(line);
  if (parts.empty()) return Command{};
  const std::string verb = lowerCased(parts.front());
  if (verb == "start") {
    Command command{Command::Kind::start, std::nullopt};
    if (parts.size() > 1) {
      std::string mode;
      for (std::size_t i = 1; i < parts.size(); ++i) mode += (i > 1 ? " " : "") + std::string(parts[i]);
      command.mode = std::move(mode);
    }
    return command;
  }
  if (verb == "stop" || verb == "help") {
    if (parts.size() > 1) return verb + " takes no argument; type help for the commands";
    return Command{verb == "stop" ? Command::Kind::stop : Command::Kind::help, std::nullopt};
  }
  return "unknown command \"" + printable(parts.front()) + "\"; type help for the commands";
}

std::string helpText() {
  return "commands:\n"
         "  start [mode]  open a session for the signed-in user (default mode: \"" +
         defaultMode().name +
         "\")\n"
         "  stop          end the running session\n"
         "  help          this list\n"
         "modes: " +
         describeModes();
}

std::string printable(std::string_view text, std::size_t limit) {
  std::string out;
  const bool cut = text.size() > limit;
  std::size_t end = cut ? limit : text.size();
  // Back off to the start of a UTF-8 sequence so the cut never splits one.
  if (cut) {
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  }
  for (std::size_t i = 0; i < end; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
  }
  if (cut) out += "...";
  return out;
}

}  // namespace velmoria::localbackend
