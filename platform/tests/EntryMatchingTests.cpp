// Which installed entry a command line carries out: the most exact one, a wrapper script's through the
// program it execs.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/DesktopEntry.hpp"
#include "platform/ExecCommand.hpp"
#include "testsupport/ScratchFolder.hpp"

namespace fs = std::filesystem;

namespace {

class Entries {
 public:
  Entries() { fs::create_directories(folder_.path() / "applications"); }
  void add(const std::string& id, const std::string& exec) const {
    std::ofstream(folder_.path() / "applications" / (id + ".desktop"))
        << "[Desktop Entry]\nType=Application\nName=" << id << "\nExec=" << exec << "\n";
  }
  std::string script(const std::string& name, const std::string& text) const {
    const auto path = folder_.path() / name;
    std::ofstream(path) << text;
    fs::permissions(path, fs::perms::owner_all);
    return path.string();
  }
  // The entry the command carries out, "" for none.
  std::string owner(const std::string& program, const std::vector<std::string>& argv) {
    if (!index_) {
      index_ = std::make_unique<velmoria::platform::DesktopEntryIndex>(
          std::vector<fs::path>{folder_.path() / "applications"});
      index_->refreshIfChanged();
    }
    const auto* entry = index_->entryForCommand(fs::canonical(program).string(), argv);
    return entry ? entry->id : "";
  }

 private:
  velmoria::testsupport::ScratchFolder folder_{"entries"};
  std::unique_ptr<velmoria::platform::DesktopEntryIndex> index_;
};

TEST(EntryMatching, OfSeveralEntriesForOneProgramTheOneWithTheMostFixedWordsMatchedWins) {
  Entries entries;
  entries.add("default", "/bin/sleep %u");
  entries.add("work", "/bin/sleep --profile work %u");
  entries.add("uxterm", "/bin/sleep -class UXTerm");
  EXPECT_EQ(entries.owner("/bin/sleep", {"sleep", "--profile", "work", "x"}), "work");
  EXPECT_EQ(entries.owner("/bin/sleep", {"sleep", "--profile", "home"}), "default");
  EXPECT_EQ(entries.owner("/bin/sleep", {"sleep", "-class", "UXTerm", "-u8"}), "uxterm");
}

TEST(EntryMatching, AWrapperScriptsEntryIsTheProgramItExecsWithTheWordsFixedThere) {
  Entries entries;
  const auto bin = fs::canonical("/bin/sleep").string();
  entries.add("plain", "/bin/sleep");
  entries.add("wrapped", entries.script("wrapper", "#!/bin/sh\nDIR=" + fs::path(bin).parent_path().string() +
                                                       "\nexec \"$DIR/sleep\" --wrapped \"$@\"\n"));
  entries.add("interpreted", entries.script("runner", "#!/bin/sh\nexec python3 \"$@\"\n"));
  EXPECT_EQ(entries.owner(bin, {"sleep", "--wrapped", "5"}), "wrapped");
  EXPECT_EQ(entries.owner(bin, {"sleep", "5"}), "plain");
  EXPECT_EQ(entries.owner("/usr/bin/python3", {"python3", "game.py"}), "")
      << "an interpreter a wrapper execs claimed every process of it";
}

TEST(ShellExecCommands, ExpandTheScriptsOwnVariablesAndStopAtWhatItDoesNotFix) {
  const auto commands = velmoria::platform::shellExecCommands(
      "#!/bin/sh\nAPPNAME=browser\nLIBDIR=/usr/lib/$APPNAME\n: \"${TERM_PROGRAM=term}\"\nexec >/dev/null 2>&1\n"
      "find . -exec rm {} \\;\nif true; then\n  exec $LIBDIR/$APPNAME $FLAGS \"$@\"\nfi\n"
      "exec \"$TERM_PROGRAM\" -class 'U X' -u8 \"$title\" 2>/dev/null\nexec -a name prog\n");
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].program, "/usr/lib/browser/browser");
  EXPECT_TRUE(commands[0].arguments.empty());
  EXPECT_EQ(commands[1].program, "term");
  EXPECT_EQ(commands[1].arguments, (std::vector<std::string>{"-class", "U X", "-u8"}));
}

}  // namespace
