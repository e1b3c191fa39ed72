// Calls one bridge, named by the first argument, so tests can watch what it writes.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "issuereporting/TestFrameworkBridges.hpp"

using namespace zirudeze::issuereporting;

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "";
  if (which == "record") {
    recordIssueBridge(std::string("boom"), 1, "Probe/Probe", "/src/Probe.cpp", 42, 7);
  } else if (which == "error") {
    recordErrorBridge(std::make_exception_ptr(std::runtime_error("bad")), std::nullopt, "Probe/Probe", "/src/Probe.cpp",
                      43, 1);
  } else if (which == "known") {
    withKnownIssueBridge(std::nullopt, false, "Probe/Probe", "/src/Probe.cpp", 44, 1, [] {
      std::puts("body ran");
      throw std::runtime_error("swallowed");
    });
    std::puts("after");
  } else if (which == "xctfail") {
    xctFailBridge(argc > 2 ? argv[2] : "", "/src/Probe.cpp", 45);
  } else if (which == "expect") {
    try {
      xctExpectFailureBridge(std::nullopt, std::nullopt, true, "/src/Probe.cpp", 46, [] {
        std::puts("body ran");
        throw std::runtime_error("passed on");
      });
    } catch (const std::exception& e) {
      std::printf("caught %s\n", e.what());
    }
  } else if (which == "current") {
    std::puts(currentTestBridge() ? "test" : "none");
  } else {
    return 2;
  }
  std::fflush(stdout);
  return 0;
}
