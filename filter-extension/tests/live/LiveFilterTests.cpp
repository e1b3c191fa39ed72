// The filter on real traffic: run as root inside private network namespaces the tests make; elsewhere
// each test skips with one line saying why.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <string_view>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "../TestData.hpp"
#include "Command.hpp"
#include "NetworkNamespaces.hpp"
#include "TestServers.hpp"
#include "testsupport/Eventually.hpp"
#include "testsupport/TestCertificateAuthority.hpp"

namespace velmoria::filter::live {
namespace {

using namespace std::chrono_literals;

std::string filterExecutable() {
  const char* executable = std::getenv("VELMORIA_FILTER_EXECUTABLE");
  return executable != nullptr ? executable : FILTER_EXECUTABLE_FALLBACK;
}

using testsupport::eventually;

class LiveFilterTest : public ::testing::Test {
 protected:
  std::filesystem::path folder;
  std::optional<NamespacePair> namespaces;
  std::optional<BackgroundProcess> daemon;

  void SetUp() override {
    std::string whyNot;
    auto made = NamespacePair::make(whyNot);
    if (!made) GTEST_SKIP() << "live filter test skipped: " << whyNot;
    namespaces.emplace(std::move(*made));
    if (!namespaces) GTEST_SKIP() << "live filter test skipped: " << whyNot;
    char name[] = "/tmp/velmoria-live-XXXXXX";
    folder = ::mkdtemp(name);
    const testsupport::TestCertificateAuthority authority("velmoria test authority");
    const auto identity = authority.issue({"blocked.example", "*.blocked.example", "allowed.example", "other.example"});
    std::ofstream(authorityCert()) << authority.certificatePem();
    std::ofstream(cert()) << identity.certificatePem;
    std::ofstream(key()) << identity.privateKeyPem;
  }

  void TearDown() override {
    if (daemon) daemon->stop(SIGKILL);
    daemon.reset();
    namespaces.reset();
    if (!folder.empty()) std::filesystem::remove_all(folder);
  }

  std::filesystem::path authorityCert() const { return folder / "authority.pem"; }
  std::filesystem::path cert() const { return folder / "cert.pem"; }
  std::filesystem::path key() const { return folder / "key.pem"; }
  std::filesystem::path configuration() const { return folder / "network-extension.json"; }
  std::filesystem::path daemonLog() const { return folder / "daemon.log"; }
  std::string status() const { return readFile(folder / "network-extension.json.status"); }

  // In the app's layout, replaced by a rename as the app does.
  void configure(bool enabled, const std::vector<std::string>& domains) {
    const nlohmann::json preferences{{"filterConfiguration",
                                      {{"enabled", enabled},
                                       {"localizedDescription", "velmoria Web Filter"},
                                       {"providerConfiguration",
                                        {{"filterSockets", true},
                                         {"filterPackets", false},
                                         {"vendorConfiguration", {{"mac.blockedDomains", domains}}}}}}}};
    std::ofstream(folder / "next.json") << preferences.dump();
    std::filesystem::rename(folder / "next.json", configuration());
  }

  std::vector<std::string> inClient(std::vector<std::string> argv) const {
    argv.insert(argv.begin(), {"ip", "netns", "exec", namespaces->client()});
    return argv;
  }

  // Held by a running daemon.
  bool statusLocked() const {
    const int fd = ::open((folder / "network-extension.json.status").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
  }

  void startDaemon(bool expectEnforcing) {
    // What a killed daemon wrote stays there until the next one takes over.
    std::filesystem::remove(folder / "network-extension.json.status");
    daemon.emplace(inClient({filterExecutable(), "--config", configuration().string()}), daemonLog());
    const auto wanted = expectEnforcing ? "enforcing" : "idle";
    ASSERT_TRUE(eventually([&] { return statusLocked() && status().starts_with(wanted); })) << readFile(daemonLog());
  }

  int tables() const {
    const auto listed = runCommand(inClient({"nft", "list", "tables"}));
    int count = 0;
    for (std::size_t at = 0; (at = listed.output.find("table inet velmoria", at)) != std::string::npos; ++at) ++count;
    return count;
  }

  CommandResult curl(const std::string& name, const std::string& address) const {
    return runCommand(inClient({"curl", "-sS", "--max-time", "5", "--cacert", authorityCert().string(), "--resolve",
                                name + ":443:" + address, "https://" + name + "/"}));
  }

  CommandResult sClient(const std::string& name) const {
    return runCommand(inClient({"openssl", "s_client", "-connect", std::string(NamespacePair::serverV4) + ":443",
                                "-servername", name, "-CAfile", authorityCert().string(), "-verify_return_error"}));
  }

  bool logged(const std::string& line) const {
    return eventually([&] { return readFile(daemonLog()).find(line) != std::string::npos; }, 1000ms);
  }
};

void expectReset(const CommandResult& result, const std::string& what) {
  EXPECT_NE(result.status, 0) << what << " got through: " << result.output;
  EXPECT_LT(result.elapsed, 2s) << what;
  EXPECT_TRUE(result.output.find("abort") != std::string::npos || result.output.find("reset") != std::string::npos ||
              result.output.find("errno=103") != std::string::npos ||
              result.output.find("errno=104") != std::string::npos)
      << what << ": " << result.output;
}

TEST_F(LiveFilterTest, BlockedNamesFailAtOnceWithAResetWhileOtherNamesPass) {
  SlowTlsServer server(namespaces->server(), {NamespacePair::serverV4, NamespacePair::serverV6}, cert(), key());
  // "allowed.example" merely ends like an entry: it passes.
  configure(true, {"blocked.example", "notallowed.example"});
  startDaemon(true);

  for (const auto* name : {"allowed.example", "other.example"}) {
    const auto passed = curl(name, NamespacePair::serverV4);
    EXPECT_EQ(passed.status, 0) << name << ": " << passed.output;
    EXPECT_EQ(passed.output, "ok") << name;
  }
  expectReset(curl("blocked.example", NamespacePair::serverV4), "blocked.example");
  expectReset(curl("shop.blocked.example", NamespacePair::serverV4), "a subdomain");
  expectReset(curl("blocked.example", std::string("[") + NamespacePair::serverV6 + "]"), "blocked.example over IPv6");
  const auto allowedV6 = curl("allowed.example", std::string("[") + NamespacePair::serverV6 + "]");
  EXPECT_EQ(allowedV6.output, "ok");

  expectReset(sClient("WWW.Blocked.Example"), "openssl s_client");
  EXPECT_EQ(sClient("allowed.example").status, 0);

  EXPECT_TRUE(logged("blocked shop.blocked.example\n"));
  EXPECT_TRUE(logged("enforced drop tcp 127.30.0.2:443 shop.blocked.example\n"));
  EXPECT_TRUE(logged(std::string("enforced drop tcp [") + NamespacePair::serverV6 + "]:443 blocked.example\n"));
  EXPECT_TRUE(logged("blocked www.blocked.example\n"));
}

// The first "chromium" on PATH, if the machine has one.
std::optional<std::filesystem::path> chromiumOnPath() {
  const char* path = std::getenv("PATH");
  std::string_view folders = path != nullptr ? path : "";
  while (!folders.empty()) {
    const auto colon = folders.find(':');
    const std::filesystem::path candidate = std::filesystem::path(folders.substr(0, colon)) / "chromium";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
  }
  return std::nullopt;
}

TEST_F(LiveFilterTest, HeadlessChromiumCannotOpenABlockedSite) {
  const auto chromium = chromiumOnPath();
  if (!chromium) GTEST_SKIP() << "headless Chromium test skipped: no chromium on PATH";
  SlowTlsServer server(namespaces->server(), {NamespacePair::serverV4}, cert(), key());
  configure(true, {"blocked.example"});
  startDaemon(true);
  // The page's text, or Chromium's error page when the connection failed.
  const auto open = [&](const std::string& name) {
    return runCommand(inClient({chromium->string(), "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                "--user-data-dir=" + (folder / "chromium").string(),
                                "--host-resolver-rules=MAP " + name + " " + NamespacePair::serverV4,
                                "--ignore-certificate-errors", "--dump-dom", "https://" + name + "/"}),
                      std::chrono::seconds(60));
  };
  const auto allowed = open("allowed.example");
  EXPECT_NE(allowed.output.find(">ok<"), std::string::npos) << allowed.output;
  const auto blocked = open("blocked.example");
  EXPECT_EQ(blocked.output.find(">ok<"), std::string::npos) << blocked.output;
  // The socket destroyed under the handshake reads as aborted, a reset from the rules as reset.
  EXPECT_TRUE(blocked.output.find("net::ERR_CONNECTION_ABORTED") != std::string::npos ||
              blocked.output.find("net::ERR_CONNECTION_RESET") != std::string::npos)
      << blocked.output;
  EXPECT_TRUE(logged("enforced drop tcp 127.30.0.2:443 blocked.example\n")) << readFile(daemonLog());
}

// Sends the hello in two segments and says what the client saw next.
std::string sendSplitHello(const std::string& ns, const std::vector<std::uint8_t>& hello) {
  const int fd = socketIn(ns, SOCK_STREAM, NamespacePair::serverV4, 443);
  const int yes = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  static_cast<void>(::send(fd, hello.data(), 60, MSG_NOSIGNAL));
  std::this_thread::sleep_for(100ms);
  static_cast<void>(::send(fd, hello.data() + 60, hello.size() - 60, MSG_NOSIGNAL));
  pollfd answer{fd, POLLIN, 0};
  std::string seen = "nothing";
  if (::poll(&answer, 1, 2000) == 1) {
    char byte = 0;
    const auto n = ::recv(fd, &byte, 1, 0);
    const int error = errno;
    seen = n > 0                                          ? "an answer"
           : n == 0                                       ? "the end"
           : error == ECONNABORTED || error == ECONNRESET ? "a reset"
                                                          : "an error";
  }
  ::close(fd);
  return seen;
}

TEST_F(LiveFilterTest, ASplitClientHelloIsJudgedOnItsAssembledBytes) {
  SlowTlsServer server(namespaces->server(), {NamespacePair::serverV4}, cert(), key());
  configure(true, {"blocked.example"});
  startDaemon(true);
  EXPECT_EQ(sendSplitHello(namespaces->client(), testing::readTestData("hello-chromium.bin")), "a reset");
  EXPECT_TRUE(logged("blocked www.shop.blocked.example\n"));
  EXPECT_EQ(sendSplitHello(namespaces->client(), testing::readTestData("hello-openssl-tls12.bin")), "an answer");
}

// Connects from a fixed source port, as a client that reuses a port does, sends `hello` if given and
// says how the connection ended within 2 s.
std::string connectFromPort(const std::string& ns, unsigned short sourcePort, const std::vector<std::uint8_t>& hello) {
  return std::async(
             std::launch::async,
             [&] {
               enterNamespace(ns);
               const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
               const int yes = 1;
               ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
               sockaddr_in local{};
               local.sin_family = AF_INET;
               local.sin_port = htons(sourcePort);
               ::inet_pton(AF_INET, NamespacePair::clientV4, &local.sin_addr);
               sockaddr_in server{};
               server.sin_family = AF_INET;
               server.sin_port = htons(443);
               ::inet_pton(AF_INET, NamespacePair::serverV4, &server.sin_addr);
               std::string seen = "nothing";
               if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
                 seen = std::string("no bind: ") + std::strerror(errno);
               } else {
                 static_cast<void>(::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server));
                 pollfd connected{fd, POLLOUT, 0};
                 int error = 0;
                 socklen_t length = sizeof error;
                 if (::poll(&connected, 1, 2000) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0) {
                   seen = error == ECONNREFUSED ? "refused" : error != 0 ? std::strerror(error) : "connected";
                 }
                 if (seen == "connected" && !hello.empty()) {
                   static_cast<void>(::send(fd, hello.data(), hello.size(), MSG_NOSIGNAL));
                   pollfd answer{fd, POLLIN, 0};
                   seen = "no answer";
                   if (::poll(&answer, 1, 2000) == 1) {
                     char byte = 0;
                     const auto n = ::recv(fd, &byte, 1, 0);
                     seen = n > 0 ? "an answer" : n == 0 ? "the end" : "a reset";
                   }
                 }
               }
               ::close(fd);
               return seen;
             })
      .get();
}

TEST_F(LiveFilterTest, AConnectReusingABlockedFlowsPortsFailsAtOnce) {
  SlowTlsServer server(namespaces->server(), {NamespacePair::serverV4}, cert(), key());
  configure(true, {"blocked.example"});
  startDaemon(true);
  constexpr unsigned short port = 40123;
  EXPECT_EQ(connectFromPort(namespaces->client(), port, testing::readTestData("hello-chromium.bin")), "a reset");
  ASSERT_TRUE(logged("enforced drop tcp 127.30.0.2:443 www.shop.blocked.example\n"));
  // The blocked flow's ports stay in the drop set for a while: a new connect on them is refused
  // rather than left resending its SYN.
  EXPECT_EQ(connectFromPort(namespaces->client(), port, {}), "refused");
}

// Sends datagrams on one connected socket, calling `afterFirst` once the first has left, and says whether
// the kernel reported the port unreachable.
bool sendDatagrams(const std::string& ns, int count, const std::function<void()>& afterFirst = {}) {
  const int fd = socketIn(ns, SOCK_DGRAM, NamespacePair::serverV4, 443);
  bool refused = false;
  const std::vector<std::uint8_t> initial(1200, 0xC3);
  for (int i = 0; i < count; ++i) {
    if (::send(fd, initial.data(), initial.size(), 0) < 0 && errno == ECONNREFUSED) refused = true;
    if (i == 0 && afterFirst) afterFirst();
    std::this_thread::sleep_for(20ms);
  }
  ::close(fd);
  return refused;
}

TEST_F(LiveFilterTest, UdpTo443IsDroppedWhileTheListHoldsAnything) {
  UdpSink sink(namespaces->server(), NamespacePair::serverV4);
  configure(true, {"blocked.example"});
  startDaemon(true);
  // The first datagram leaves before the verdict; none after it. The rest wait for the verdict, so that a
  // daemon slowed down (by a sanitizer, a loaded machine) does not let a second one through first.
  const auto waitForTheVerdict = [&] { EXPECT_TRUE(logged("enforced drop udp 127.30.0.2:443 -\n")); };
  EXPECT_TRUE(sendDatagrams(namespaces->client(), 10, waitForTheVerdict));
  std::this_thread::sleep_for(100ms);
  EXPECT_LE(sink.received(), 1);
  EXPECT_TRUE(logged("drop UDP/443 (QUIC) \xE2\x86\x92 TCP-Fallback erzwingen\n"));

  const int before = sink.received();
  configure(true, {});
  ASSERT_TRUE(logged("startFilter blocklistCount=0\n"));
  EXPECT_FALSE(sendDatagrams(namespaces->client(), 10));
  EXPECT_TRUE(eventually([&] { return sink.received() == before + 10; }, 1000ms)) << sink.received();
}

TEST_F(LiveFilterTest, TheTableLivesWhileTheConfigurationIsEnabledAndNoLonger) {
  configure(false, {"blocked.example"});
  startDaemon(false);
  EXPECT_EQ(tables(), 0);

  configure(true, {"blocked.example"});
  ASSERT_TRUE(eventually([&] { return status().starts_with("enforcing"); }));
  EXPECT_EQ(tables(), 1);
  configure(false, {"blocked.example"});
  EXPECT_TRUE(eventually([&] { return tables() == 0; }, 1000ms));
  EXPECT_TRUE(status().starts_with("idle"));

  // Killed outright, the daemon leaves its table; the next one starts from a fresh, empty one.
  configure(true, {"blocked.example"});
  ASSERT_TRUE(eventually([&] { return status().starts_with("enforcing"); }));
  SlowTlsServer server(namespaces->server(), {NamespacePair::serverV4}, cert(), key());
  expectReset(curl("blocked.example", NamespacePair::serverV4), "blocked.example");
  EXPECT_EQ(daemon->stop(SIGKILL), 128 + SIGKILL);
  EXPECT_EQ(tables(), 1);
  startDaemon(true);
  EXPECT_EQ(tables(), 1);
  const auto set = runCommand(inClient({"nft", "list", "set", "inet", "velmoria", "tcp4"}));
  EXPECT_EQ(set.output.find("elements"), std::string::npos) << set.output;

  EXPECT_EQ(daemon->stop(SIGTERM), 0);
  EXPECT_EQ(tables(), 0);
  EXPECT_TRUE(logged("stopFilter reason=1\n"));
}

TEST_F(LiveFilterTest, ASecondDaemonInTheSameNamespaceRefusesToRun) {
  configure(false, {});
  startDaemon(false);
  const auto second = runCommand(inClient({filterExecutable(), "--config", (folder / "other.json").string()}));
  EXPECT_EQ(second.status, 75) << second.output;
  EXPECT_NE(second.output.find("another velmoria-filter runs in this network namespace"), std::string::npos);
}

}  // namespace
}  // namespace velmoria::filter::live
