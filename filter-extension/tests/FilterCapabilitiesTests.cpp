#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace velmoria::filter {
namespace {

std::string filterExecutable() {
  const char* executable = std::getenv("VELMORIA_FILTER_EXECUTABLE");
  return executable != nullptr ? executable : FILTER_EXECUTABLE_FALLBACK;
}

TEST(FilterCapabilitiesTest, WithoutThemTheDaemonSaysSoInOneLineAndExits) {
  // Root holds every capability: take the two away for the run.
  const std::string prefix = ::geteuid() == 0 ? "setpriv --inh-caps=-all --bounding-set=-net_raw,-net_admin " : "";
  const std::string command = prefix + filterExecutable() + " --config /nonexistent/velmoria.json 2>&1";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  std::array<char, 512> buffer{};
  std::size_t read = 0;
  while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), read);
  const int status = WEXITSTATUS(::pclose(pipe));
  EXPECT_EQ(status, 77);
  EXPECT_EQ(output,
            "velmoria-filter: lacks CAP_NET_RAW and CAP_NET_ADMIN, which it needs to see and block traffic; grant them "
            "with: sudo scripts/install-filter " +
                filterExecutable() + "\n");
}

}  // namespace
}  // namespace velmoria::filter
