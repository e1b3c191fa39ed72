#pragma once

#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "testsupport/ScratchFolder.hpp"

namespace velmoria::testsupport {

// Puts a stand-in "xdg-open" first on PATH that records its arguments, one per line, and the count first.
class StubOpener {
 public:
  StubOpener() : savedPath_(std::getenv("PATH") ? std::getenv("PATH") : "") {
    const std::filesystem::path script = scratch_.path() / "xdg-open";
    std::ofstream(script) << "#!/bin/sh\n"
                             "out=\""
                          << record().string()
                          << "\"\n"
                             "{ echo \"$#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$out.tmp\"\n"
                             "mv \"$out.tmp\" \"$out\"\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    ::setenv("PATH", (scratch_.path().string() + ":" + savedPath_).c_str(), 1);
  }
  ~StubOpener() { ::setenv("PATH", savedPath_.c_str(), 1); }

  std::filesystem::path record() const { return scratch_.path() / "arguments"; }

  // The lines the stub wrote, once it has run (waits for the child, which runs on its own).
  std::vector<std::string> arguments() const {
    for (int attempt = 0; attempt < 500 && !std::filesystem::exists(record()); ++attempt)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(record());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  ScratchFolder scratch_{"opener-test"};
  std::string savedPath_;
};

}  // namespace velmoria::testsupport
