#include "platform/DesktopFileId.hpp"

#include <gtest/gtest.h>

using platform::desktopFileId;
using platform::desktopFileIdFromCgroup;
using platform::desktopFileIdFromEntryPath;

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

TEST(DesktopFileId, ExecProgram) {
  EXPECT_EQ(platform::execProgram("/usr/bin/foo --bar %U"), "/usr/bin/foo");
  EXPECT_EQ(platform::execProgram("  \"/opt/My App/run\" %f"), "/opt/My App/run");
  EXPECT_FALSE(platform::execProgram("   "));
  EXPECT_FALSE(platform::execProgram("%U"));
}
