#include "localbackend/Options.hpp"

#include <charconv>

#include "localbackend/Command.hpp"

namespace velmoria::localbackend {
namespace {

std::variant<std::uint16_t, std::string> parsePort(const std::string& text) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > 65535) {
    return "the port must be a number from 0 to 65535, not \"" + printable(text) + "\"";
  }
  return static_cast<std::uint16_t>(value);
}

}  // namespace

std::variant<Options, std::string> parseOptions(const std::vector<std::string>& arguments) {
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "-h" || argument == "--help") {
      options.help = true;
      continue;
    }
    std::string value;
    if (argument == "--port") {
      if (i + 1 == arguments.size()) return std::string("--port needs a number");
      value = arguments[++i];
    } else if (argument.rfind("--port=", 0) == 0) {
      value = argument.substr(7);
    } else {
      return "unknown argument \"" + printable(argument) + "\"";
    }
    const auto port = parsePort(value);
    if (const auto* problem = std::get_if<std::string>(&port)) return *problem;
    options.port = std::get<std::uint16_t>(port);
  }
  return options;
}

std::string usage() {
  return "usage: velmoria-local-backend [--port N]\n"
         "Serves a backend for velmoria on 127.0.0.1 (port N, or any free one) and reads start, stop and help\n"
         "from its standard input.";
}

}  // namespace velmoria::localbackend
