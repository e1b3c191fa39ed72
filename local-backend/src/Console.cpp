#include "localbackend/Console.hpp"

#include <exception>
#include <variant>

#include "localbackend/Command.hpp"

namespace velmoria::localbackend {

std::string answerLine(LocalBackend& backend, std::string_view line) {
  const auto parsed = parseCommand(line);
  if (const auto* problem = std::get_if<std::string>(&parsed)) return *problem;
  const auto& command = std::get<Command>(parsed);
  try {
    switch (command.kind) {
      case Command::Kind::nothing:
        return {};
      case Command::Kind::help:
        return helpText();
      case Command::Kind::start:
        return backend.start(command.mode).message;
      case Command::Kind::stop:
        return backend.stop().message;
    }
  } catch (const std::exception& error) {
    return std::string("that failed: ") + error.what();
  }
  return {};
}

std::string greeting(const LocalBackend& backend) {
  return "velmoria local backend\n"
         "URL: " +
         backend.url() +
         "\n"
         "key: " +
         std::string(LocalBackend::kKey) +
         "\n"
         "Sign in to velmoria with any address; the code it would have e-mailed shows up here.\n"
         "Then type start [mode] to open a session and stop to end it (help lists the modes); Ctrl-C ends the backend.";
}

}  // namespace velmoria::localbackend
