#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace velmoria::localbackend {

// One line typed into the backend's terminal.
struct Command {
  enum class Kind { nothing, start, stop, help };
  Kind kind = Kind::nothing;
  // `start` only: the mode as typed, blanks collapsed; none for the default mode.
  std::optional<std::string> mode;

  bool operator==(const Command&) const = default;
};

// The command of a line (words in any letter case), or the one line that tells what is wrong with it.
std::variant<Command, std::string> parseCommand(std::string_view line);

// The lines `help` prints.
std::string helpText();

// Text from outside made safe to print on one line: control characters become "?", and a long text is
// cut to `limit` bytes (never inside a UTF-8 sequence) with "..." after it.
std::string printable(std::string_view text, std::size_t limit = 60);

}  // namespace velmoria::localbackend
