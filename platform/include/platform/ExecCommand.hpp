#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmoria::platform {

// The words of a desktop entry's Exec value (its string escapes already undone): split at unquoted blanks;
// double quotes group a word, inside them a backslash escapes the next character; outside quotes a
// backslash escapes the next character and single quotes group literally, as launchers accept. Nothing
// when a quote is left open or there is no word.
std::optional<std::vector<std::string>> execWords(std::string_view exec);

// What a process that an entry started shows of the entry in its command line: the program it runs and
// the words fixed after it. Field codes ("%u", "%F", ...) and whatever follows the first of them vary
// from launch to launch and are not part of it; "%%" is a literal "%". A leading "env" with its options
// and NAME=value words is looked through to the program it runs.
struct ExecCommand {
  std::string program;
  std::vector<std::string> arguments;

  // Whether a process with this command line (argv, argv[0] first) runs this command: its arguments
  // start with `arguments`. argv[0] is not compared; the program is told by the executable itself.
  bool matches(const std::vector<std::string>& argv) const;
};

// Nothing when the value has no program (empty, an open quote, a field code first, an env with no
// command or with options we do not follow).
std::optional<ExecCommand> execCommand(std::string_view exec);

// What a process started from `command` shows when its program is a script run through its "#!" line
// (`interpreterLine`, the text after "#!" up to the line's end): the interpreter, with the line's argument,
// the script's path as it was launched (`launched`) and then the command's words. An interpreter named
// through env is looked through to the program env runs. Nothing for a line the system would not run
// that way.
std::optional<ExecCommand> scriptCommand(const ExecCommand& command, std::string_view interpreterLine,
                                         const std::string& launched);

// The commands a shell script's `exec` lines run, each with its program and the words fixed there, in the
// script's order: words are expanded from the script's own plain assignments and defaults, and end at
// the first word whose value the script does not fix ("$@", an environment variable). An `exec` with
// options or only redirections gives none.
std::vector<ExecCommand> shellExecCommands(std::string_view script);

}  // namespace velmoria::platform
