#include "platform/ExecCommand.hpp"

#include <algorithm>

namespace velmoria::platform {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// The word with "%%" made "%"; nothing when it holds a field code (a "%" before any other character).
std::optional<std::string> fixedWord(const std::string& word) {
  std::string out;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (word[i] != '%') {
      out += word[i];
      continue;
    }
    if (i + 1 < word.size() && word[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    return std::nullopt;
  }
  return out;
}

bool isEnv(const std::string& word) {
  return word == "env" || (word.size() > 4 && word.compare(word.size() - 4, 4, "/env") == 0);
}

// The index of the command env runs, past its options and NAME=value words; nothing for options it
// would read differently from us (a split string, an unknown option) or when no command follows.
std::optional<std::size_t> envCommandIndex(const std::vector<std::string>& words) {
  std::size_t i = 1;
  bool options = true;
  for (; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w.find('=') != std::string::npos && (w.empty() || w.front() != '-')) {
      options = false;  // assignments end the options
      continue;
    }
    if (!options || w.empty() || w.front() != '-') break;
    if (w == "--") {
      options = false;
    } else if (w == "-" || w == "-i" || w == "--ignore-environment" || w == "-0" || w == "--null" || w == "-v" ||
               w == "--debug") {
    } else if (w == "-u" || w == "--unset" || w == "-C" || w == "--chdir") {
      ++i;  // the option's value
    } else if ((w.size() > 2 && (w.rfind("-u", 0) == 0 || w.rfind("-C", 0) == 0)) || w.rfind("--unset=", 0) == 0 ||
               w.rfind("--chdir=", 0) == 0) {
    } else {
      return std::nullopt;
    }
  }
  if (i >= words.size()) return std::nullopt;
  return i;
}

}  // namespace

std::optional<std::vector<std::string>> execWords(std::string_view exec) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  std::size_t i = 0;
  while (i < exec.size()) {
    const char c = exec[i];
    if (isBlank(c)) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      ++i;
      continue;
    }
    inWord = true;
    if (c == '"' || c == '\'') {
      const auto close = c;
      for (++i;; ++i) {
        if (i >= exec.size()) return std::nullopt;
        if (exec[i] == close) break;
        if (close == '"' && exec[i] == '\\' && i + 1 < exec.size()) ++i;
        word += exec[i];
      }
      ++i;
    } else if (c == '\\') {
      if (i + 1 < exec.size()) word += exec[i + 1];
      i += 2;
    } else {
      word += c;
      ++i;
    }
  }
  if (inWord) words.push_back(std::move(word));
  if (words.empty()) return std::nullopt;
  return words;
}

std::optional<ExecCommand> execCommand(std::string_view exec) {
  const auto words = execWords(exec);
  if (!words) return std::nullopt;
  std::size_t start = 0;
  if (isEnv(words->front())) {
    const auto command = envCommandIndex(*words);
    if (!command) return std::nullopt;
    start = *command;
  }
  ExecCommand command;
  auto program = fixedWord((*words)[start]);
  if (!program || program->empty()) return std::nullopt;
  command.program = std::move(*program);
  for (std::size_t i = start + 1; i < words->size(); ++i) {
    auto fixed = fixedWord((*words)[i]);
    if (!fixed) break;
    command.arguments.push_back(std::move(*fixed));
  }
  return command;
}

std::optional<ExecCommand> scriptCommand(const ExecCommand& command, std::string_view interpreterLine,
                                         const std::string& launched) {
  // The system splits the line once: the interpreter, then all the rest as one argument.
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!interpreterLine.empty() && blank(interpreterLine.front())) interpreterLine.remove_prefix(1);
  while (!interpreterLine.empty() && (blank(interpreterLine.back()) || interpreterLine.back() == '\r'))
    interpreterLine.remove_suffix(1);
  const auto end = std::find_if(interpreterLine.begin(), interpreterLine.end(), blank);
  std::string interpreter(interpreterLine.begin(), end);
  std::string_view argument(end, interpreterLine.end());
  while (!argument.empty() && blank(argument.front())) argument.remove_prefix(1);
  if (interpreter.empty() || launched.empty()) return std::nullopt;

  ExecCommand script;
  if (isEnv(interpreter)) {
    // env runs the program named by the argument with the script's path; options would change that.
    if (argument.empty() || argument.front() == '-' || argument.find_first_of(" \t=") != std::string_view::npos)
      return std::nullopt;
    script.program = std::string(argument);
  } else {
    script.program = std::move(interpreter);
    if (!argument.empty()) script.arguments.emplace_back(argument);
  }
  script.arguments.push_back(launched);
  script.arguments.insert(script.arguments.end(), command.arguments.begin(), command.arguments.end());
  return script;
}

bool ExecCommand::matches(const std::vector<std::string>& argv) const {
  if (argv.empty() || argv.size() - 1 < arguments.size()) return false;
  return std::equal(arguments.begin(), arguments.end(), argv.begin() + 1);
}

}  // namespace velmoria::platform
