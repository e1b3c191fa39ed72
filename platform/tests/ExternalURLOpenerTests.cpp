#include "platform/ExternalURLOpener.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "testsupport/ScratchFolder.hpp"

namespace fs = std::filesystem;

namespace {

// Puts a stand-in "xdg-open" first on PATH that records its arguments, one per line, and the count first.
class StubOpener {
 public:
  StubOpener() : savedPath_(std::getenv("PATH") ? std::getenv("PATH") : "") {
    const fs::path script = scratch_.path() / "xdg-open";
    std::ofstream(script) << "#!/bin/sh\n"
                             "out=\""
                          << record().string()
                          << "\"\n"
                             "{ echo \"$#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$out.tmp\"\n"
                             "mv \"$out.tmp\" \"$out\"\n";
    fs::permissions(script, fs::perms::owner_all);
    ::setenv("PATH", (scratch_.path().string() + ":" + savedPath_).c_str(), 1);
  }
  ~StubOpener() { ::setenv("PATH", savedPath_.c_str(), 1); }

  fs::path record() const { return scratch_.path() / "arguments"; }

  // The lines the stub wrote, once it has run (waits for the child, which runs on its own).
  std::vector<std::string> arguments() const {
    for (int attempt = 0; attempt < 500 && !fs::exists(record()); ++attempt)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(record());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  testsupport::ScratchFolder scratch_{"opener-test"};
  std::string savedPath_;
};

TEST(ExternalURLOpener, TheURLArrivesAsExactlyOneArgumentWhateverItHolds) {
  for (const std::string url :
       {"https://example.com/cb?code=1&state=2", "myapp://cb#a b;echo owned; $(touch x) `id`"}) {
    const StubOpener stub;
    ASSERT_TRUE(platform::openURLExternally(url));
    EXPECT_EQ(stub.arguments(), (std::vector<std::string>{"1", url}));
    EXPECT_FALSE(fs::exists("x"));
  }
}

TEST(ExternalURLOpener, TextTheOpenerWouldTakeForAnOptionIsNotHandedOn) {
  const StubOpener stub;
  EXPECT_FALSE(platform::openURLExternally("--help"));
  EXPECT_FALSE(platform::openURLExternally(""));
}

TEST(ExternalURLOpener, AMissingOpenerIsReportedNotThrown) {
  const char* saved = std::getenv("PATH");
  const std::string restore = saved ? saved : "";
  testsupport::ScratchFolder empty;
  ::setenv("PATH", empty.path().c_str(), 1);
  EXPECT_FALSE(platform::openURLExternally("https://example.com"));
  ::setenv("PATH", restore.c_str(), 1);
}

}  // namespace
