#include <QCoreApplication>
#include <algorithm>
#include <fstream>
#include <unordered_set>

#include <gtest/gtest.h>

#include "BlockingTestSupport.hpp"
#include "EventLoopSupport.hpp"
#include "platform/DesktopEntry.hpp"
#include "testsupport/ScopedEnvironment.hpp"
#include "velmoria/AppPickerViewModel.hpp"
#include "velmoria/InstalledApps.hpp"

namespace fs = std::filesystem;
using velmoria::AppMeta;
using velmoria::scanInstalledApps;

namespace {

class ScannerTest : public ::testing::Test {
 protected:
  ScannerTest() { velmoria::testing::app(); }

  fs::path folder(const std::string& name) {
    const auto p = temp_.path() / name / "applications";
    fs::create_directories(p);
    return p;
  }
  static void entry(const fs::path& file, const std::string& body, const std::string& type = "Application") {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "[Desktop Entry]\nType=" << type << "\n" << body;
  }
  static std::vector<std::string> ids(const std::vector<AppMeta>& apps) {
    std::vector<std::string> out;
    for (const auto& a : apps) out.push_back(a.bundleID);
    return out;
  }
  static std::vector<std::string> names(const std::vector<AppMeta>& apps) {
    std::vector<std::string> out;
    for (const auto& a : apps) out.push_back(a.name);
    return out;
  }

  velmoria::testsupport::ScratchFolder temp_;
};

TEST_F(ScannerTest, TheFirstFolderHoldingAnIdWinsAndMissingFoldersAreSkipped) {
  const auto user = folder("user");
  const auto system = folder("system");
  entry(user / "org.example.Editor.desktop", "Name=Editor (mine)\n");
  entry(system / "org.example.Editor.desktop", "Name=Editor\n");
  entry(system / "org.example.Viewer.desktop", "Name=Viewer\n");
  const auto apps = scanInstalledApps({temp_.path() / "absent", user, system}, "C");
  ASSERT_EQ(ids(apps), (std::vector<std::string>{"org.example.Editor", "org.example.Viewer"}));
  EXPECT_EQ(apps[0].name, "Editor (mine)");
  EXPECT_EQ(apps[0].path, (user / "org.example.Editor.desktop").string());
}

TEST_F(ScannerTest, SkipsWhatIsNotAShownApplication) {
  const auto user = folder("user");
  const auto system = folder("system");
  entry(user / ".hidden-app.desktop", "Name=Dot\n");
  entry(user / "org.example.Gone.desktop", "Name=Gone\nHidden=true\n");
  entry(system / "org.example.Gone.desktop", "Name=Gone system\n");  // hidden by the user's entry
  entry(user / "helper.desktop", "Name=Helper\nNoDisplay=true\n");
  entry(user / "link.desktop", "Name=Link\n", "Link");
  entry(user / "Shout.DESKTOP", "Name=Shout\n");
  entry(user / ".vendor" / "secret.desktop", "Name=Secret\n");  // a hidden folder is not walked
  fs::create_directories(user / "folder.desktop");
  std::ofstream(user / "nogroup.desktop") << "Name=No group\n";
  entry(user / "kept.desktop", "Name=Kept\n");
  // An entry of another type does not claim its ID: a later folder may still offer it.
  entry(user / "shadow.desktop", "Name=Shadow\n", "Directory");
  entry(system / "shadow.desktop", "Name=Shadow app\n");
  EXPECT_EQ(ids(scanInstalledApps({user, system}, "C")), (std::vector<std::string>{"kept", "shadow"}));
}

TEST_F(ScannerTest, SubfolderAppsCarryTheIdTheRunningSideKnowsThemBy) {
  const auto user = folder("user");
  const auto system = folder("system");
  entry(system / "kde" / "konsole.desktop", "Name=Konsole\nExec=/bin/true --konsole\n");
  entry(system / "kde" / "dolphin.desktop", "Name=Dolphin\n");
  entry(user / "kde-dolphin.desktop", "Name=My Dolphin\n");  // the same ID, from the earlier folder
  entry(system / "a" / "b" / "deep.desktop", "Name=Deep\n");
  entry(system / "kde" / "helper.desktop", "Name=Helper\nNoDisplay=true\nExec=/bin/false\n");
  const auto apps = scanInstalledApps({user, system}, "C");
  EXPECT_EQ(ids(apps), (std::vector<std::string>{"a-b-deep", "kde-konsole", "kde-dolphin"}));
  EXPECT_EQ(apps[1].path, (system / "kde" / "konsole.desktop").string());
  EXPECT_EQ(apps[2].name, "My Dolphin");

  // The running-app side reads the same walk: the same IDs, and the picker's NoDisplay helper too.
  velmoria::platform::DesktopEntryIndex index({user, system});
  index.refreshIfChanged();
  std::vector<std::string> indexed;
  for (const auto& [id, found] : index.entries()) indexed.push_back(id);
  EXPECT_EQ(indexed, (std::vector<std::string>{"a-b-deep", "kde-dolphin", "kde-helper", "kde-konsole"}));
  const auto program = velmoria::platform::resolveProgram("/bin/true");
  ASSERT_TRUE(program);
  const auto* konsole = index.entryForCommand(*program, {"true", "--konsole"});
  ASSERT_NE(konsole, nullptr);
  EXPECT_EQ(konsole->id, "kde-konsole");

  // An app added to a subfolder later is seen on the next refresh.
  entry(system / "kde" / "kate.desktop", "Name=Kate\n");
  index.refreshIfChanged();
  EXPECT_NE(index.entry("kde-kate"), nullptr);
}

TEST_F(ScannerTest, TheAppPickerOffersASubfolderAppUnderItsDesktopFileId) {
  const auto data = temp_.path() / "data";
  entry(data / "applications" / "kde" / "konsole.desktop", "Name=Konsole\n");
  fs::create_directories(temp_.path() / "home");
  const velmoria::testsupport::ScopedEnvironment dataHome("XDG_DATA_HOME", data.string());
  const velmoria::testsupport::ScopedEnvironment dataDirs("XDG_DATA_DIRS", (temp_.path() / "none").string());
  const velmoria::testsupport::ScopedEnvironment home("HOME", (temp_.path() / "home").string());
  velmoria::AppPickerViewModel picker;
  picker.loadApps();
  ASSERT_TRUE(velmoria::testing::processUntil([&] { return !picker.isLoading(); }));
  const auto apps = picker.filteredApps();
  const auto konsole = std::find_if(apps.begin(), apps.end(), [](const auto& app) { return app.name == "Konsole"; });
  ASSERT_NE(konsole, apps.end());
  EXPECT_EQ(konsole->id, "kde-konsole");
}

TEST_F(ScannerTest, NamesAreLocalisedFallBackToTheFileNameAndLoseEveryDotApp) {
  const auto f = folder("user");
  entry(f / "de.desktop", "Name=Calculator\nName[de]=Rechner\nName[de_AT]=Rechner AT\n");
  entry(f / "fr.desktop", "Name=Calculator FR\nName[de]=Rechner FR\n");
  entry(f / "nameless.desktop", "Exec=true\n");
  entry(f / "dotted.desktop", "Name=My.app.Studio.app\n");
  const auto apps = scanInstalledApps({f}, "de_DE.UTF-8");
  EXPECT_EQ(names(apps), (std::vector<std::string>{"My.Studio", "nameless", "Rechner", "Rechner FR"}));
  EXPECT_EQ(names(scanInstalledApps({f}, "de_AT")),
            (std::vector<std::string>{"My.Studio", "nameless", "Rechner AT", "Rechner FR"}));
}

TEST_F(ScannerTest, SortsByNameIgnoringCaseAndKeepsScanOrderForEqualNames) {
  const auto first = folder("a");
  const auto second = folder("b");
  entry(first / "g.desktop", "Name=Gamma\n");
  entry(first / "lower.desktop", "Name=beta\n");
  entry(second / "upper.desktop", "Name=Beta\n");
  entry(second / "a.desktop", "Name=Alpha\n");
  const auto apps = scanInstalledApps({first, second}, "C");
  EXPECT_EQ(names(apps), (std::vector<std::string>{"Alpha", "beta", "Beta", "Gamma"}));
  EXPECT_EQ(ids(scanInstalledApps({second, first}, "C")), (std::vector<std::string>{"a", "upper", "lower", "g"}));
}

TEST_F(ScannerTest, InstalledAppsAreTheSameAppWhenTheirIdsAgree) {
  const velmoria::InstalledApp a{"org.example.App", "App", {}, {}};
  const velmoria::InstalledApp b{"org.example.App", "Other name", QUrl("file:///x"), {}};
  const velmoria::InstalledApp c{"org.example.Other", "App", {}, {}};
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_EQ(std::hash<velmoria::InstalledApp>{}(a), std::hash<velmoria::InstalledApp>{}(b));
  std::unordered_set<velmoria::InstalledApp> set{a, b, c};
  EXPECT_EQ(set.size(), 2u);
  const AppMeta m{"id", "Name", "/p", ""};
  EXPECT_NE(m, (AppMeta{"id", "Name", "/q", ""}));
}

TEST_F(ScannerTest, RowsCarryAFileUrlAndAnIconEvenWhenTheEntryNamesNone) {
  const auto rows = velmoria::makeInstalledApps({AppMeta{"a", "A", "/usr/share/applications/a.desktop", ""},
                                                 AppMeta{"b", "B", "/x/b.desktop", "no-such-icon-name"}});
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].url, QUrl::fromLocalFile("/usr/share/applications/a.desktop"));
  EXPECT_FALSE(rows[0].icon.isNull());
  EXPECT_FALSE(rows[1].icon.isNull());
}

}  // namespace
