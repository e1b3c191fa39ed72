#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace velmoria::localbackend {

struct Options {
  std::uint16_t port = 0;  // 0: any free port
  bool help = false;

  bool operator==(const Options&) const = default;
};

// The program's arguments (without its name): "--port N" or "--port=N", "-h" or "--help". A text saying
// what is wrong for anything else.
std::variant<Options, std::string> parseOptions(const std::vector<std::string>& arguments);

std::string usage();

}  // namespace velmoria::localbackend
