// The app picker's costs: scanning the application folders, building the rows, filtering per keystroke.
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <benchmark/benchmark.h>

#include "velmoria/AppPickerViewModel.hpp"
#include "velmoria/InstalledApps.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 2000;

QApplication& app() {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "bench_screens";
  static char* argv[] = {name, nullptr};
  static QApplication* instance = new QApplication(argc, argv);
  return *instance;
}

// 2,000 entries over a user folder and two system folders, a tenth of them shadowed by the user's.
struct Tree {
  Tree() {
    std::string pattern = (fs::temp_directory_path() / "velmoria-bench-XXXXXX").string();
    root = ::mkdtemp(pattern.data());
    for (const char* f : {"user", "local", "system"}) folders.push_back(root / f / "applications");
    for (const auto& f : folders) fs::create_directories(f);
    for (int i = 0; i < kEntries; ++i) {
      const auto& folder = folders[static_cast<std::size_t>(i % 3)];
      std::ofstream(folder / ("org.example.App" + std::to_string(i) + ".desktop"))
          << "[Desktop Entry]\nType=Application\nName=Application " << i << "\nName[de]=Anwendung " << i
          << "\nComment=Does things\nExec=/usr/bin/app" << i << " %U\nIcon=app" << i
          << "\nCategories=Utility;\nTerminal=false\n";
    }
    for (int i = 0; i < kEntries / 10; ++i) {
      std::ofstream(folders[0] / ("org.example.App" + std::to_string(i * 3 + 1) + ".desktop"))
          << "[Desktop Entry]\nType=Application\nName=Mine " << i << "\n";
    }
  }
  ~Tree() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  fs::path root;
  std::vector<fs::path> folders;
};

Tree& tree() {
  static Tree t;
  return t;
}

void BM_ScanInstalledApps(benchmark::State& state) {
  app();
  auto& t = tree();
  std::size_t found = 0;
  for (auto _ : state) {
    auto apps = velmoria::scanInstalledApps(t.folders, "de_DE.UTF-8");
    found = apps.size();
    benchmark::DoNotOptimize(apps);
  }
  state.counters["apps"] = static_cast<double>(found);
}
BENCHMARK(BM_ScanInstalledApps)->Unit(benchmark::kMillisecond);

void BM_MakeRowsWithIcons(benchmark::State& state) {
  app();
  const auto metas = velmoria::scanInstalledApps(tree().folders, "C");
  for (auto _ : state) {
    auto rows = velmoria::makeInstalledApps(metas);
    benchmark::DoNotOptimize(rows);
  }
}
BENCHMARK(BM_MakeRowsWithIcons)->Unit(benchmark::kMillisecond);

// One keystroke: the search text grows by a letter and the list is filtered again.
void BM_FilterPerKeystroke(benchmark::State& state) {
  app();
  const auto metas = velmoria::scanInstalledApps(tree().folders, "C");
  velmoria::AppPickerViewModel vm([metas] { return metas; });
  vm.loadApps();
  while (vm.isLoading()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  const QString typed = QStringLiteral("application 19");
  int i = 0;
  for (auto _ : state) {
    vm.setSearchText(typed.left(1 + i++ % typed.size()));
    auto rows = vm.filteredApps();
    benchmark::DoNotOptimize(rows);
  }
  state.counters["apps"] = static_cast<double>(vm.apps().size());
}
BENCHMARK(BM_FilterPerKeystroke)->Unit(benchmark::kMicrosecond);

}  // namespace
