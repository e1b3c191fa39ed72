#include "issuereporting/IsTesting.hpp"

#include <array>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string_view>

extern char** environ;

namespace zirudeze::issuereporting {

namespace {

bool hasVariable(const std::vector<std::string>& environment, std::string_view name) {
  for (const auto& entry : environment) {
    const std::string_view view(entry);
    if (view.size() > name.size() && view.substr(0, name.size()) == name && view[name.size()] == '=') return true;
    if (view == name) return true;
  }
  return false;
}

std::string_view lastComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view pathExtension(std::string_view path) {
  const auto name = lastComponent(path);
  const auto dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
}

std::vector<std::string> processEnvironment() {
  std::vector<std::string> out;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) out.emplace_back(*entry);
  return out;
}

// A static library never sees argv; the kernel keeps a copy.
std::vector<std::string> processArguments() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> out;
  std::string current;
  for (const char c : raw) {
    if (c == '\0') {
      out.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) out.push_back(current);
  return out;
}

}  // namespace

bool detectTesting(const std::vector<std::string>& environment, const std::vector<std::string>& arguments) {
  constexpr std::array<std::string_view, 4> runnerVariables = {
      "XCTestBundlePath", "XCTestBundleInjectPath", "XCTestConfigurationFilePath", "XCTestSessionIdentifier"};
  for (const auto name : runnerVariables) {
    if (hasVariable(environment, name)) return true;
  }
  for (const auto& argument : arguments) {
    const std::string_view view(argument);
    if (lastComponent(view) == "swiftpm-testing-helper") return true;
    if (view == "--testing-library") return true;
    if (lastComponent(view) == "xctest") return true;
    if (pathExtension(view) == "xctest") return true;
  }
  // The runners above never exist here; GoogleTest and CTest are what run our tests.
  for (const auto& argument : arguments) {
    if (std::string_view(argument).starts_with("--gtest_")) return true;
  }
  return hasVariable(environment, "CTEST_INTERACTIVE_DEBUG_MODE") ||
         hasVariable(environment, "DASHBOARD_TEST_FROM_CTEST");
}

bool isTesting() {
  static std::once_flag once;
  static bool flag = false;
  std::call_once(once, [] { flag = detectTesting(processEnvironment(), processArguments()); });
  return flag;
}

}  // namespace zirudeze::issuereporting
