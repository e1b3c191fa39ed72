#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/AtomicFile.hpp"
#include "platform/MemoryDefaults.hpp"
#include "platform/UserDefaults.hpp"
#include "testsupport/ScopedEnvironment.hpp"
#include "testsupport/ScratchFolder.hpp"

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(FileUserDefaults, WritesOneJsonFilePerSuiteAndReadsItBack) {
  velmoria::testsupport::ScratchFolder tmp;
  velmoria::platform::FileDefaultsSystem system(tmp.path() / "velmoria");
  system.suite(velmoria::platform::kAppGroupSuiteName)
      ->setValue("mac.blockedDomains", nlohmann::json{"a.com", "b.com"});
  system.standard()->setValue("mac.loginItem.autoRegistered", true);

  const auto group = nlohmann::json::parse(readFile(tmp.path() / "velmoria/group.com.tandrelkoss.kelvaton.json"));
  EXPECT_EQ(group["mac.blockedDomains"], (nlohmann::json{"a.com", "b.com"}));
  EXPECT_TRUE(system.standard()->boolValue("mac.loginItem.autoRegistered"));
  EXPECT_EQ(system.suite(velmoria::platform::kAppGroupSuiteName)->stringArray("mac.blockedDomains"),
            (std::vector<std::string>{"a.com", "b.com"}));

  struct stat st {};
  ASSERT_EQ(::stat((tmp.path() / "velmoria/standard.json").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(FileUserDefaults, TwoViewsOfOneSuiteDoNotOverwriteEachOthersKeys) {
  velmoria::testsupport::ScratchFolder tmp;
  velmoria::platform::FileDefaultsSystem system(tmp.path());
  auto first = system.standard();
  auto second = system.standard();
  first->setValue("a", 1);
  second->setValue("b", 2);
  EXPECT_EQ(first->value("b"), nlohmann::json(2));
  EXPECT_EQ(second->value("a"), nlohmann::json(1));
  first->removeValue("a");
  EXPECT_FALSE(second->value("a").has_value());
}

TEST(FileUserDefaults, ReadsFreshContentAfterAnotherWriter) {
  velmoria::testsupport::ScratchFolder tmp;
  velmoria::platform::FileDefaultsSystem system(tmp.path());
  auto reader = system.suite("s");
  EXPECT_FALSE(reader->stringArray("k").has_value());
  velmoria::platform::writeFileAtomically(tmp.path() / "s.json", R"({"k": ["x"]})");
  EXPECT_EQ(reader->stringArray("k"), (std::vector<std::string>{"x"}));
}

TEST(FileUserDefaults, WrongTypesAndDamagedFilesReadAsEmpty) {
  velmoria::testsupport::ScratchFolder tmp;
  velmoria::platform::FileDefaultsSystem system(tmp.path());
  auto suite = system.standard();
  suite->setValue("notArray", "text");
  suite->setValue("mixed", nlohmann::json::array({"a", 1}));
  suite->setValue("notBool", 1);
  EXPECT_FALSE(suite->stringArray("notArray").has_value());
  EXPECT_FALSE(suite->stringArray("mixed").has_value());
  EXPECT_FALSE(suite->boolValue("notBool"));

  std::ofstream(tmp.path() / "standard.json") << "{\"a\": [1, 2";
  EXPECT_FALSE(suite->value("a").has_value());
  std::ofstream(tmp.path() / "standard.json") << "[\"top level array\"]";
  EXPECT_FALSE(suite->value("a").has_value());

  // The next write keeps the damaged file aside and starts afresh.
  suite->setValue("b", true);
  EXPECT_TRUE(suite->boolValue("b"));
  EXPECT_EQ(readFile(tmp.path() / "standard.json.corrupt"), "[\"top level array\"]");
}

TEST(FileUserDefaults, SuiteNamesThatWouldLeaveTheFolderCannotBeOpened) {
  velmoria::testsupport::ScratchFolder tmp;
  velmoria::platform::FileDefaultsSystem system(tmp.path());
  EXPECT_EQ(system.suite(""), nullptr);
  EXPECT_EQ(system.suite("../x"), nullptr);
  EXPECT_EQ(system.suite(".hidden"), nullptr);
  EXPECT_EQ(system.suite("standard"), nullptr);
  EXPECT_NE(system.suite("group.com.tandrelkoss.kelvaton"), nullptr);
}

TEST(FileUserDefaults, DefaultsFolderFollowsXdgConfigHome) {
  const velmoria::testsupport::ScopedEnvironment config("XDG_CONFIG_HOME", "/some/config");
  EXPECT_EQ(velmoria::platform::defaultsFolder(), fs::path("/some/config/velmoria"));
}

// A writer killed at any moment leaves either the old or the new file, never a torn one.
TEST(AtomicFile, KillDuringWritesLeavesOldOrNewFile) {
  velmoria::testsupport::ScratchFolder tmp;
  const fs::path target = tmp.path() / "standard.json";
  const std::string small = R"({"k": "old"})";
  velmoria::platform::writeFileAtomically(target, small);
  std::string big = R"({"k": ")" + std::string(512 * 1024, 'n') + R"("})";

  for (int round = 0; round < 5; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) {
        velmoria::platform::writeFileAtomically(target, big);
        velmoria::platform::writeFileAtomically(target, small);
      }
    }
    ::usleep(20000 + round * 7000);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const std::string content = readFile(target);
    EXPECT_TRUE(content == small || content == big) << "torn file of " << content.size() << " bytes";
  }
}

TEST(AtomicFile, ReplacesALinkInsteadOfWritingThroughIt) {
  velmoria::testsupport::ScratchFolder tmp;
  const fs::path victim = tmp.path() / "victim";
  std::ofstream(victim) << "keep";
  fs::create_symlink(victim, tmp.path() / "page.html");
  velmoria::platform::writeFileAtomically(tmp.path() / "page.html", "new", 0644);
  EXPECT_EQ(readFile(victim), "keep");
  EXPECT_FALSE(fs::is_symlink(tmp.path() / "page.html"));
  EXPECT_EQ(readFile(tmp.path() / "page.html"), "new");
}

TEST(MemoryDefaults, ViewsShareStorageAndUnavailableSuitesFail) {
  velmoria::platform::MemoryDefaultsSystem system;
  system.unavailable.insert("blocked");
  EXPECT_EQ(system.suite("blocked"), nullptr);
  system.suite("g")->setValue("k", nlohmann::json{"a"});
  EXPECT_EQ(system.suite("g")->stringArray("k"), (std::vector<std::string>{"a"}));
  EXPECT_EQ(system.storage("g").writes, 1);
}

}  // namespace
