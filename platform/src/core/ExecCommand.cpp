#include "platform/ExecCommand.hpp"

#include <algorithm>
#include <map>

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

namespace {

bool isNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9'); }

using ShellVariables = std::map<std::string, std::string, std::less<>>;

// Reads one parameter expansion at text[i] (just past the "$"); moves i past it. Nothing when its value
// is not known from the script's own plain assignments ("$@", "$1", a variable of the environment).
std::optional<std::string> expandParameter(std::string_view text, std::size_t& i, const ShellVariables& vars) {
  if (i < text.size() && text[i] == '{') {
    const auto close = text.find('}', i);
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view inner = text.substr(i + 1, close - i - 1);
    i = close + 1;
    std::size_t n = 0;
    while (n < inner.size() && isNameChar(inner[n])) ++n;
    if (n == 0 || !isNameStart(inner[0])) return std::nullopt;
    const auto it = vars.find(inner.substr(0, n));
    if (n == inner.size()) return it == vars.end() ? std::nullopt : std::optional<std::string>(it->second);
    // ${NAME-word}, ${NAME:-word}, ${NAME=word}, ${NAME:=word}: the script's own default.
    std::string_view op = inner.substr(n);
    if (!op.empty() && op.front() == ':') op.remove_prefix(1);
    if (op.empty() || (op.front() != '-' && op.front() != '=')) return std::nullopt;
    if (it != vars.end()) return it->second;
    const std::string_view fallback = op.substr(1);
    if (fallback.find_first_of("$`\"'\\") != std::string_view::npos) return std::nullopt;
    return std::string(fallback);
  }
  std::size_t end = i;
  while (end < text.size() && isNameChar(text[end])) ++end;
  if (end == i || !isNameStart(text[i])) return std::nullopt;
  const auto it = vars.find(text.substr(i, end - i));
  i = end;
  return it == vars.end() ? std::nullopt : std::optional<std::string>(it->second);
}

// The words of one simple command, up to the first operator or comment; a word whose value the script
// does not fix is nothing.
std::vector<std::optional<std::string>> shellWords(std::string_view text, const ShellVariables& vars) {
  std::vector<std::optional<std::string>> words;
  std::optional<std::string> word;
  bool inWord = false;
  const auto finish = [&] {
    if (inWord) words.push_back(word);
    word = std::string();
    inWord = false;
  };
  word = std::string();
  std::size_t i = 0;
  char quote = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (quote == '\'') {
      if (c == '\'') {
        quote = 0;
      } else if (word) {
        *word += c;
      }
      ++i;
      continue;
    }
    if (quote == 0 && (isBlank(c) || c == '\r')) {
      finish();
      ++i;
      continue;
    }
    if (quote == 0 && std::string_view(";&|<>()`").find(c) != std::string_view::npos) {
      // "2>file": the digits were a descriptor, not a word.
      if (inWord && (c == '<' || c == '>') && word && !word->empty() &&
          word->find_first_not_of("0123456789") == std::string::npos) {
        inWord = false;
      }
      finish();
      return words;
    }
    if (quote == 0 && c == '#' && !inWord) return words;
    inWord = true;
    if (c == '"') {
      quote = quote == '"' ? 0 : '"';
      ++i;
    } else if (c == '\'' && quote == 0) {
      quote = '\'';
      ++i;
    } else if (c == '\\' && i + 1 < text.size()) {
      if (word) *word += text[i + 1];
      i += 2;
    } else if (c == '$') {
      ++i;
      const auto value = expandParameter(text, i, vars);
      if (!value) {
        word.reset();
      } else if (word) {
        *word += *value;
      }
    } else {
      if (word) *word += c;
      ++i;
    }
  }
  finish();
  return words;
}

}  // namespace

std::vector<ExecCommand> shellExecCommands(std::string_view script) {
  ShellVariables vars;
  std::vector<ExecCommand> commands;
  while (!script.empty()) {
    const auto nl = script.find('\n');
    std::string_view line = script.substr(0, nl);
    script = nl == std::string_view::npos ? std::string_view{} : script.substr(nl + 1);
    while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
    // A default given anywhere (": "${PROG=prog}"") holds for what follows unless assigned before.
    for (auto at = line.find("${"); at != std::string_view::npos; at = line.find("${", at + 2)) {
      std::size_t n = at + 2;
      while (n < line.size() && isNameChar(line[n])) ++n;
      std::size_t op = n;
      if (op < line.size() && line[op] == ':') ++op;
      const auto close = line.find('}', op);
      if (n == at + 2 || op >= line.size() || line[op] != '=' || close == std::string_view::npos) continue;
      const std::string_view value = line.substr(op + 1, close - op - 1);
      const std::string name(line.substr(at + 2, n - at - 2));
      if (value.find_first_of("$`\"'\\") == std::string_view::npos) vars.emplace(name, std::string(value));
    }
    std::size_t n = 0;
    while (n < line.size() && isNameChar(line[n])) ++n;
    if (n > 0 && isNameStart(line[0]) && n < line.size() && line[n] == '=') {
      const auto words = shellWords(line.substr(n + 1), vars);
      const std::string name(line.substr(0, n));
      // "NAME=value cmd" sets it for cmd alone; a value the script does not fix makes it unknown.
      if (words.size() == 1 && words.front()) {
        vars[name] = *words.front();
      } else if (words.empty() &&
                 (n + 1 == line.size() || isBlank(line[n + 1]) || line[n + 1] == '"' || line[n + 1] == '\'')) {
        vars[name] = "";
      } else if (words.size() <= 1) {
        vars.erase(name);
      }
      continue;
    }
    if (line.rfind("exec", 0) != 0 || line.size() < 5 || !isBlank(line[4])) continue;
    const auto words = shellWords(line.substr(5), vars);
    if (words.empty() || !words.front() || words.front()->empty() || words.front()->front() == '-') continue;
    ExecCommand command{*words.front(), {}};
    for (std::size_t i = 1; i < words.size() && words[i]; ++i) command.arguments.push_back(*words[i]);
    commands.push_back(std::move(command));
  }
  return commands;
}

}  // namespace velmoria::platform
