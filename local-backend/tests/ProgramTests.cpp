#include <signal.h>

#include <cstdlib>

#include "LocalBackendTestSupport.hpp"
#include "testsupport/ChildProcess.hpp"
#include "testsupport/FakeBackend.hpp"

namespace velmoria::localbackend::testing {
namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;

std::string program() {
  const char* path = std::getenv("VELMORIA_LOCAL_BACKEND");
  return path ? path : LOCAL_BACKEND_FALLBACK;
}

// Reads lines until one starts with `prefix`; the lines read on the way are dropped.
std::optional<std::string> lineStarting(ChildProcess& child, const std::string& prefix) {
  while (const auto line = child.readLine(10s)) {
    if (line->rfind(prefix, 0) == 0) return line;
  }
  return std::nullopt;
}

TEST(Program, PrintsItsAddressAndCodesAndRunsWhatIsTyped) {
  ChildProcess child({program()}, {}, true);
  const auto urlLine = lineStarting(child, "URL: ");
  ASSERT_TRUE(urlLine);
  const std::string url = urlLine->substr(5);
  EXPECT_EQ(url.rfind("http://127.0.0.1:", 0), 0u);
  EXPECT_EQ(child.readLine(5s), std::string("key: ") + LocalBackend::kKey);

  ASSERT_TRUE(child.send("dance\n"));
  EXPECT_TRUE(lineStarting(child, "unknown command \"dance\"; type help for the commands"));
  ASSERT_TRUE(child.send("help\n"));
  EXPECT_TRUE(lineStarting(child, "modes: "));

  AppClient app(url);
  app.signIn("ada@example.com",
             [&](const std::string& email) { return codeIn(lineStarting(child, "code for " + email)); });
  ASSERT_TRUE(child.send("start read"));  // the rest of the line comes in a second write
  ASSERT_TRUE(child.send("ing\n"));
  EXPECT_TRUE(lineStarting(child, "started a \"Reading\" session for ada@example.com"));
  ASSERT_EQ(app.openSessions().size(), 1u);

  // Without a terminal it goes on serving until a signal ends it.
  child.closeInput();
  EXPECT_EQ(post(static_cast<std::uint16_t>(std::stoi(url.substr(url.rfind(':') + 1))), "/local/v1/stop").status, 200u);
  EXPECT_TRUE(lineStarting(child, "ended the \"Reading\" session"));
  EXPECT_TRUE(app.openSessions().empty());
  ASSERT_EQ(::kill(child.pid(), SIGTERM), 0);
  EXPECT_EQ(child.wait(10s), 0);
}

TEST(Program, ServesOnTheGivenPortAndRefusesATakenOneOrABadNumber) {
  std::uint16_t port = 0;
  {
    const testsupport::FakeBackend probe;
    port = probe.port();
  }
  {
    ChildProcess child({program(), "--port", std::to_string(port)});
    EXPECT_EQ(lineStarting(child, "URL: "), "URL: http://127.0.0.1:" + std::to_string(port));
    ChildProcess second({program(), "--port=" + std::to_string(port)});
    EXPECT_EQ(second.wait(10s), 1);
    ASSERT_EQ(::kill(child.pid(), SIGINT), 0);
    EXPECT_EQ(child.wait(10s), 0);
  }
  ChildProcess bad({program(), "--port", "http"});
  EXPECT_EQ(bad.wait(10s), 64);
  EXPECT_FALSE(bad.readLine(1s));
}

}  // namespace
}  // namespace velmoria::localbackend::testing
