#include <gtest/gtest.h>

#include "platform/DesktopFileId.hpp"
#include "platform/ExecCommand.hpp"

using velmoria::platform::desktopFileId;
using velmoria::platform::desktopFileIdFromCgroup;
using velmoria::platform::desktopFileIdFromEntryPath;

TEST(DesktopFileId, EntryBelowAnApplicationsFolder) {
  EXPECT_EQ(desktopFileId("/usr/share/applications", "/usr/share/applications/org.gnome.Terminal.desktop"),
            "org.gnome.Terminal");
  EXPECT_EQ(desktopFileId("/usr/share/applications/", "/usr/share/applications/kde/konsole.desktop"), "kde-konsole");
  EXPECT_FALSE(desktopFileId("/usr/share/applications", "/usr/share/applications/readme.txt"));
  EXPECT_FALSE(desktopFileId("/usr/share/applications", "/etc/x.desktop"));
  EXPECT_FALSE(desktopFileId("/usr/share/applications", "/usr/share/applications/.desktop"));
}

TEST(DesktopFileId, LaunchedEntryPathAgreesWithTheFolderScan) {
  const std::string folder = "/home/u/.local/share/applications";
  for (const std::string rel : {"firefox-esr.desktop", "kde/konsole.desktop"}) {
    EXPECT_EQ(desktopFileIdFromEntryPath(folder + "/" + rel), desktopFileId(folder, folder + "/" + rel));
  }
  EXPECT_EQ(desktopFileIdFromEntryPath("/opt/foo/bar.desktop"), "bar");
}

TEST(DesktopFileId, LaunchedEntryPathCountsFromTheLastApplicationsFolder) {
  const std::string folder = "/home/applications/.local/share/applications";
  EXPECT_EQ(desktopFileIdFromEntryPath(folder + "/kde/konsole.desktop"), "kde-konsole");
  EXPECT_EQ(desktopFileIdFromEntryPath(folder + "/kde/konsole.desktop"),
            desktopFileId(folder, folder + "/kde/konsole.desktop"));
  EXPECT_EQ(desktopFileIdFromEntryPath("/srv/applications/share/applications/firefox-esr.desktop"), "firefox-esr");
}

TEST(DesktopFileId, SystemdAppUnits) {
  EXPECT_EQ(desktopFileIdFromCgroup("0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
                                    "app-gnome-org.gnome.Terminal-4242.scope"),
            "org.gnome.Terminal");
  EXPECT_EQ(desktopFileIdFromCgroup("0::/app.slice/app-gnome-firefox\\x2desr-123.scope\n"), "firefox-esr");
  EXPECT_EQ(desktopFileIdFromCgroup("app-flatpak-org.mozilla.firefox-99.scope"), "org.mozilla.firefox");
  EXPECT_EQ(desktopFileIdFromCgroup("app-org.kde.konsole-8f2e.scope"), "org.kde.konsole");
  EXPECT_EQ(desktopFileIdFromCgroup("app-org.kde.dolphin@0a1b.service"), "org.kde.dolphin");
  EXPECT_EQ(desktopFileIdFromCgroup("app-gnome-org.gnome.Nautilus@x.service"), "org.gnome.Nautilus");
  EXPECT_FALSE(desktopFileIdFromCgroup("0::/user.slice/user-1000.slice/session-2.scope"));
  EXPECT_FALSE(desktopFileIdFromCgroup("0::/init.scope"));
  EXPECT_FALSE(desktopFileIdFromCgroup("app-a-b-c-1.scope"));
}

using Words = std::vector<std::string>;

TEST(ExecCommand, SplitsWordsByTheQuotingRules) {
  EXPECT_EQ(velmoria::platform::execWords("  \"/opt/My App/run\"  --name \"a \\\"b\\\" \\\\c \\$d\" %f"),
            (Words{"/opt/My App/run", "--name", "a \"b\" \\c $d", "%f"}));
  EXPECT_EQ(velmoria::platform::execWords("sh -c 'echo \"$HOME\"'"), (Words{"sh", "-c", "echo \"$HOME\""}));
  EXPECT_EQ(velmoria::platform::execWords("my\\ game\t--x"), (Words{"my game", "--x"}));
  EXPECT_EQ(velmoria::platform::execWords("a\"b c\"d"), (Words{"ab cd"}));
  EXPECT_FALSE(velmoria::platform::execWords("\"/opt/open quote --x"));
  EXPECT_FALSE(velmoria::platform::execWords(" \t "));
}

TEST(ExecCommand, KeepsTheWordsBeforeTheFirstFieldCode) {
  const auto game = velmoria::platform::execCommand("python3 /opt/game/main.py --level %f --later");
  ASSERT_TRUE(game);
  EXPECT_EQ(game->program, "python3");
  EXPECT_EQ(game->arguments, (Words{"/opt/game/main.py", "--level"}));
  EXPECT_EQ(velmoria::platform::execCommand("firefox %u")->arguments, Words{});
  EXPECT_EQ(velmoria::platform::execCommand("prog --rate=100%% %U")->arguments, Words{"--rate=100%"});
  EXPECT_EQ(velmoria::platform::execCommand("prog --file=%f --x")->arguments, Words{});
  EXPECT_FALSE(velmoria::platform::execCommand("%U prog"));
  EXPECT_FALSE(velmoria::platform::execCommand(""));
}

TEST(ExecCommand, LooksThroughEnvToTheProgramItRuns) {
  const auto game = velmoria::platform::execCommand("env GAME_MODE=1 LANG=C /opt/game/run --fast %U");
  ASSERT_TRUE(game);
  EXPECT_EQ(game->program, "/opt/game/run");
  EXPECT_EQ(game->arguments, Words{"--fast"});
  EXPECT_EQ(velmoria::platform::execCommand("/usr/bin/env -u DISPLAY -i -- X=1 prog a")->program, "prog");
  EXPECT_EQ(velmoria::platform::execCommand("env --unset=A -C /tmp prog")->program, "prog");
  EXPECT_FALSE(velmoria::platform::execCommand("env X=1"));
  EXPECT_FALSE(velmoria::platform::execCommand("env -S 'prog a'")) << "a split string is not read as env would";
}

TEST(ExecCommand, AScriptRunsAsItsInterpreterWithTheLaunchedPath) {
  const auto game = velmoria::platform::execCommand("/opt/game/start --level %f");
  ASSERT_TRUE(game);
  const auto shell = velmoria::platform::scriptCommand(*game, " /bin/sh  \r", "/opt/game/start");
  ASSERT_TRUE(shell);
  EXPECT_EQ(shell->program, "/bin/sh");
  EXPECT_EQ(shell->arguments, (Words{"/opt/game/start", "--level"}));
  // The rest of the line is one argument, blanks and all.
  EXPECT_EQ(velmoria::platform::scriptCommand(*game, "/usr/bin/perl -w -T", "/opt/game/start")->arguments,
            (Words{"-w -T", "/opt/game/start", "--level"}));
  const auto python = velmoria::platform::scriptCommand(*game, "/usr/bin/env python3", "/opt/game/start");
  ASSERT_TRUE(python);
  EXPECT_EQ(python->program, "python3");
  EXPECT_EQ(python->arguments, (Words{"/opt/game/start", "--level"}));
  EXPECT_FALSE(velmoria::platform::scriptCommand(*game, "/usr/bin/env -S python3 -u", "/opt/game/start"));
  EXPECT_FALSE(velmoria::platform::scriptCommand(*game, "/usr/bin/env", "/opt/game/start"));
  EXPECT_FALSE(velmoria::platform::scriptCommand(*game, "  ", "/opt/game/start"));
}

TEST(ExecCommand, MatchesACommandLineThatStartsWithItsWords) {
  const auto game = velmoria::platform::execCommand("python3 \"/opt/My Game/main.py\" %U");
  ASSERT_TRUE(game);
  EXPECT_TRUE(game->matches({"python3", "/opt/My Game/main.py"}));
  EXPECT_TRUE(game->matches({"/usr/bin/python3.11", "/opt/My Game/main.py", "save.dat"}));
  EXPECT_FALSE(game->matches({"python3", "notes.py"}));
  EXPECT_FALSE(game->matches({"python3"}));
  EXPECT_FALSE(game->matches({}));
}
