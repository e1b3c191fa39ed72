// Apps found through their windows: which entry a window's class names, and the scanner and workspace
// taking the processes that windows name.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/BlockingTrace.hpp"
#include "platform/ProcessWorkspace.hpp"
#include "platform/WindowIdentity.hpp"
#include "testsupport/ExecedChild.hpp"
#include "testsupport/ScratchFolder.hpp"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using velmoria::platform::TopLevelWindow;

namespace {

std::map<std::string, velmoria::platform::DesktopEntry> entries(
    const std::vector<std::tuple<std::string, std::string, std::string>>& idFileAndClass) {
  std::map<std::string, velmoria::platform::DesktopEntry> out;
  for (const auto& [id, file, startupWMClass] : idFileAndClass) {
    velmoria::platform::DesktopEntry e;
    e.id = id;
    e.file = "/usr/share/applications/" + file;
    e.startupWMClass = startupWMClass;
    out.emplace(id, e);
  }
  return out;
}

TEST(WindowIdentity, AWindowIsTheEntryItsClassNamesFirstByStartupWMClassThenByTheWholeID) {
  const auto installed = entries({{"chromium", "chromium.desktop", ""},
                                  {"org.gnome.Calculator", "org.gnome.Calculator.desktop", ""},
                                  {"debian-xterm", "debian-xterm.desktop", "XTerm"},
                                  {"debian-uxterm", "debian-uxterm.desktop", "UXTerm"},
                                  {"kde-konsole", "kde/konsole.desktop", ""},
                                  {"gallery-viewer", "gallery-viewer.desktop", ""},
                                  {"navigator", "navigator.desktop", ""},
                                  {"org.example.Browser", "org.example.Browser.desktop", "Navigator"}});
  const auto found = [&](const std::string& instance, const std::string& className) {
    const auto w = velmoria::platform::entryForWindow({1, instance, className}, installed);
    return std::make_pair(w.entry ? w.entry->id : std::string("none"), w.byStartupWMClass);
  };
  using Found = std::pair<std::string, bool>;
  EXPECT_EQ(found("chromium", "Chromium"), Found("chromium", false));
  EXPECT_EQ(found("gnome-calculator", "org.gnome.Calculator"), Found("org.gnome.Calculator", false));
  EXPECT_EQ(found("calculator", "Calculator"), Found("none", false)) << "an ID's last part is not its name";
  EXPECT_EQ(found("viewer", "Viewer"), Found("none", false)) << "nor the part after a dash of a file's name";
  EXPECT_EQ(found("konsole", "konsole"), Found("kde-konsole", false)) << "a subfolder's entry by its file's name";
  EXPECT_EQ(found("xterm", "UXTerm"), Found("debian-uxterm", true)) << "the class before the instance";
  EXPECT_EQ(found("xterm", "XTerm"), Found("debian-xterm", true));
  EXPECT_EQ(found("navigator", "Navigator"), Found("org.example.Browser", true)) << "a StartupWMClass before an ID";
  EXPECT_EQ(found("", ""), Found("none", false));
}

// Entries whose programs are not what the windowed processes run, one whose Exec a process does run, and
// the processes.
class WindowedApps {
 public:
  WindowedApps() {
    fs::create_directories(root() / "applications");
    fs::copy_file("/bin/sleep", root() / "dummy-prog");
    fs::permissions(root() / "dummy-prog", fs::perms::owner_all);
    entry("org.example.Dummy", (root() / "dummy-prog").string(), "");
    entry("org.example.Viewer", "/nonexistent/viewer", "");
    entry("org.example.Painter", "/nonexistent/painter", "PainterWindow");
  }
  ~WindowedApps() {
    for (const pid_t p : spawned_) {
      ::kill(p, SIGKILL);
      ::waitpid(p, nullptr, 0);
    }
  }
  fs::path root() const { return folder_.path(); }
  std::shared_ptr<velmoria::platform::ProcessScanner> scanner() const {
    return std::make_shared<velmoria::platform::ProcessScanner>(
        std::make_shared<velmoria::platform::DesktopEntryIndex>(std::vector<fs::path>{root() / "applications"}));
  }
  pid_t run(const fs::path& program) {
    spawned_.push_back(velmoria::testsupport::spawnExeced(program.string(), {"30"}, {}));
    if (!velmoria::testsupport::waitForExec(spawned_.back())) ADD_FAILURE() << "could not run " << program;
    return spawned_.back();
  }

 private:
  void entry(const std::string& id, const std::string& exec, const std::string& startupWMClass) const {
    folder_.write("applications/" + id + ".desktop", "[Desktop Entry]\nType=Application\nName=" + id + "\nExec=" +
                                                         exec + "\nStartupWMClass=" + startupWMClass + "\n");
  }
  velmoria::testsupport::ScratchFolder folder_{"windowed-apps"};
  std::vector<pid_t> spawned_;
};

std::optional<std::string> idOf(const std::vector<std::shared_ptr<velmoria::platform::ProcessApplication>>& apps,
                                pid_t pid) {
  for (const auto& a : apps) {
    if (a->processIdentifier() == pid) return a->bundleIdentifier();
  }
  return std::nullopt;
}

TEST(WindowIdentity, AProcessOfOursAWindowNamesIsItsEntrysAppAndOnlyAStartupWMClassOutweighsItsExec) {
  // What the scanner saw, shown when an expectation fails.
  const velmoria::platform::blockingtrace::Capture trace;
  WindowedApps installed;
  const auto scanner = installed.scanner();
  const pid_t viewer = installed.run("/bin/sleep");
  const pid_t unnamed = installed.run("/bin/sleep");
  const pid_t painter = installed.run(installed.root() / "dummy-prog");
  const pid_t guessed = installed.run(installed.root() / "dummy-prog");
  const pid_t gone = velmoria::testsupport::spawnExeced("/bin/true", {}, {});
  ::waitpid(gone, nullptr, 0);
  EXPECT_EQ(idOf(scanner->scan(), painter), "org.example.Dummy");

  scanner->setWindows({{viewer, "viewer", "org.example.Viewer"},
                       {unnamed, "unnamed", "Unnamed"},
                       {painter, "painter", "PainterWindow"},
                       {guessed, "guessed", "org.example.Viewer"},
                       {gone, "gone", "org.example.Viewer"},
                       {0, "nobody", "org.example.Painter"}});
  const auto apps = scanner->scan();
  EXPECT_EQ(idOf(apps, viewer), "org.example.Viewer");
  EXPECT_EQ(idOf(apps, unnamed), std::nullopt);
  EXPECT_EQ(idOf(apps, painter), "org.example.Painter") << "its entry names the window on purpose";
  EXPECT_EQ(idOf(apps, guessed), "org.example.Dummy") << "a window's class like an ID is but a guess";
  EXPECT_EQ(idOf(apps, gone), std::nullopt);
  // Other tests' processes may be apps of entries of their own: only the apps windows give here are counted.
  const auto byWindow = std::count_if(apps.begin(), apps.end(), [](const auto& app) {
    const auto id = app->bundleIdentifier();
    return id == "org.example.Viewer" || id == "org.example.Painter";
  });
  EXPECT_EQ(byWindow, 2) << "a window without a process, or of one gone, makes no app";
  if (HasFailure())
    ADD_FAILURE() << "viewer " << viewer << ", unnamed " << unnamed << ", painter " << painter << ", guessed "
                  << guessed << ", gone " << gone << "\n"
                  << trace.text();
}

// Windows as a test scripts them, and how often each question was asked.
class ScriptedWindows final : public velmoria::platform::ActiveWindowSource {
 public:
  explicit ScriptedWindows(std::vector<TopLevelWindow>& windows) : windows_(windows) {}
  std::optional<pid_t> activeWindowProcess() override { return std::nullopt; }
  std::optional<std::vector<TopLevelWindow>> topLevelWindowsIfChanged() override {
    if (told_ == windows_) return std::nullopt;
    told_ = windows_;
    return windows_;
  }
  std::optional<std::vector<TopLevelWindow>> topLevelWindows() override {
    ++freshReads;
    return told_ = windows_;
  }
  int freshReads = 0;

 private:
  std::vector<TopLevelWindow>& windows_;
  std::optional<std::vector<TopLevelWindow>> told_;
};

TEST(WindowIdentity, TheRunningAppsSeeTheWindowsOfNowAndAWindowThatNamesAProcessAnewIsALaunch) {
  WindowedApps installed;
  velmoria::platform::ManualScheduler scheduler;
  std::vector<TopLevelWindow> windows;
  auto source = std::make_unique<ScriptedWindows>(windows);
  auto& scripted = *source;
  velmoria::platform::ProcessWorkspace workspace(scheduler, installed.scanner(), std::move(source), 250ms);
  const pid_t viewer = installed.run("/bin/sleep");
  const pid_t painter = installed.run(installed.root() / "dummy-prog");
  windows = {{viewer, "viewer", "org.example.Viewer"}};
  bool found = false;
  for (const auto& app : workspace.runningApplications()) found = found || app->processIdentifier() == viewer;
  EXPECT_TRUE(found) << "the running apps saw the windows of before";
  EXPECT_EQ(scripted.freshReads, 1);

  std::vector<std::pair<pid_t, std::string>> launched;
  workspace.addObserver(velmoria::platform::WorkspaceNotification::didLaunchApplication, [&](const auto& app) {
    launched.emplace_back(app->processIdentifier(), app->bundleIdentifier().value_or(""));
  });
  windows.push_back({painter, "painter", "PainterWindow"});
  scheduler.advance(250ms);
  EXPECT_EQ(launched, (std::vector<std::pair<pid_t, std::string>>{{painter, "org.example.Painter"}}))
      << "the process was another app before its window named it";
}

}  // namespace
