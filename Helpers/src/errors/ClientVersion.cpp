#include "helpers/ClientVersion.hpp"

#include <sys/utsname.h>

#include <cctype>

namespace zirudeze::helpers::detail {

std::string versionTriple(const std::string& release) {
  unsigned long parts[3] = {0, 0, 0};
  std::size_t at = 0;
  for (int part = 0; part < 3; ++part) {
    if (at >= release.size() || !std::isdigit(static_cast<unsigned char>(release[at]))) break;
    unsigned long value = 0;
    while (at < release.size() && std::isdigit(static_cast<unsigned char>(release[at]))) {
      value = value * 10 + static_cast<unsigned long>(release[at] - '0');
      if (value > 999999) value = 999999;
      ++at;
    }
    parts[part] = value;
    if (at >= release.size() || release[at] != '.') break;
    ++at;
  }
  return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]);
}

}  // namespace zirudeze::helpers::detail

namespace zirudeze::helpers {

const std::string& libraryVersion() {
  static const std::string version = "2.41.1";
  return version;
}

const std::string& platformName() {
  static const std::string name = "Linux";
  return name;
}

const std::string& platformVersion() {
  static const std::string version = [] {
    utsname info{};
    if (uname(&info) != 0) return std::string("0.0.0");
    return detail::versionTriple(info.release);
  }();
  return version;
}

}  // namespace zirudeze::helpers
