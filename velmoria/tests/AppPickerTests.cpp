#include <QCoreApplication>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPointer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include <gtest/gtest.h>

#include "BlockingTestSupport.hpp"
#include "EventLoopSupport.hpp"
#include "velmoria/AppPickerView.hpp"

using velmoria::AppMeta;
using velmoria::AppPickerView;
using velmoria::AppPickerViewModel;
using velmoria::testing::processFor;
using velmoria::testing::processUntil;

namespace {

std::vector<AppMeta> sampleApps() {
  return {AppMeta{"org.example.Calc", "Calculator", "/a/calc.desktop", ""},
          AppMeta{"org.mozilla.firefox", "Firefox Web", "/a/ff.desktop", ""},
          AppMeta{"com.apple.Safari", "Safari", "/a/safari.desktop", ""},
          AppMeta{"org.example.Term", "Terminal", "/a/term.desktop", ""}};
}

void click(QWidget* widget, QPoint at) {
  const QPointF local(at), global(widget->mapToGlobal(at));
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &release);
}

// A scan that blocks until released, to close sheets while one is in flight.
struct Latch {
  std::mutex mutex;
  std::condition_variable cv;
  bool open = false;
  std::atomic<bool> started{false};
  std::atomic<bool> finished{false};
  void release() {
    const std::lock_guard lock(mutex);
    open = true;
    cv.notify_all();
  }
};

class PickerTest : public ::testing::Test {
 protected:
  PickerTest() : store_(defaults_) { velmoria::testing::app(); }

  std::vector<std::string> filteredNames(const AppPickerViewModel& vm) {
    std::vector<std::string> names;
    for (const auto& a : vm.filteredApps()) names.push_back(a.name.toStdString());
    return names;
  }

  velmoria::platform::MemoryDefaultsSystem defaults_;
  velmoria::MacBlocklistStore store_;
};

TEST_F(PickerTest, LoadsOnceOffTheMainThreadAndSearchesNamesOnly) {
  std::atomic<int> scans{0};
  AppPickerViewModel vm([&] {
    ++scans;
    return sampleApps();
  });
  EXPECT_FALSE(vm.isLoading());
  vm.loadApps();
  EXPECT_TRUE(vm.isLoading());
  ASSERT_TRUE(processUntil([&] { return !vm.isLoading(); }));
  EXPECT_EQ(vm.apps().size(), 4u);
  vm.loadApps();  // already loaded: no second scan
  EXPECT_FALSE(vm.isLoading());
  EXPECT_EQ(scans.load(), 1);

  EXPECT_EQ(filteredNames(vm).size(), 4u);
  for (const char* text : {"safari", "SAFARI", "sAfArI"}) {
    vm.setSearchText(text);
    EXPECT_EQ(filteredNames(vm), (std::vector<std::string>{"Safari"})) << text;
  }
  vm.setSearchText("com.apple");
  EXPECT_TRUE(filteredNames(vm).empty());
  vm.setSearchText(" ");
  EXPECT_EQ(filteredNames(vm), (std::vector<std::string>{"Firefox Web"}));
  vm.setSearchText("");
  EXPECT_EQ(filteredNames(vm).size(), 4u);
}

TEST_F(PickerTest, RowsToggleTheStoreAndTheCounterCountsEveryStoredId) {
  store_.toggle("org.not.installed");
  AppPickerView view(store_, [] { return sampleApps(); });
  view.resize(460, 520);
  view.show();
  ASSERT_TRUE(processUntil([&] { return view.listView()->model()->rowCount() == 4; }));
  EXPECT_FALSE(view.isShowingProgress());
  EXPECT_EQ(view.counterText(), QString::fromUtf8("1 ausgewählt"));

  // A click in the empty middle of the Safari row (between name and symbol) ticks it.
  const QRect row = view.rowRect(2);
  click(view.listView()->viewport(), QPoint(row.center().x() + 60, row.center().y()));
  EXPECT_TRUE(store_.contains("com.apple.Safari"));
  EXPECT_EQ(view.counterText(), QString::fromUtf8("2 ausgewählt"));
  EXPECT_TRUE(defaults_.storage("standard").values.count("mac.blockedBundleIDs"));

  view.clickRow(2);
  EXPECT_FALSE(store_.contains("com.apple.Safari"));
  EXPECT_EQ(view.counterText(), QString::fromUtf8("1 ausgewählt"));

  // Searching narrows the rows the clicks address.
  view.searchField()->setText("term");
  ASSERT_EQ(view.listView()->model()->rowCount(), 1);
  view.clickRow(0);
  EXPECT_TRUE(store_.contains("org.example.Term"));
}

TEST_F(PickerTest, ShowsProgressWhileScanningAndAnEmptyListWhenNothingIsFound) {
  auto latch = std::make_shared<Latch>();
  AppPickerView view(store_, [latch] {
    std::unique_lock lock(latch->mutex);
    latch->cv.wait(lock, [&] { return latch->open; });
    return std::vector<AppMeta>{};
  });
  view.show();
  EXPECT_TRUE(view.isShowingProgress());
  view.hide();
  view.show();  // shown again: still one scan
  latch->release();
  ASSERT_TRUE(processUntil([&] { return !view.isShowingProgress(); }));
  EXPECT_EQ(view.listView()->model()->rowCount(), 0);
}

TEST_F(PickerTest, ClosingDuringASlowScanDropsItsResult) {
  auto latch = std::make_shared<Latch>();
  {
    auto view = std::make_unique<AppPickerView>(store_, [latch] {
      latch->started = true;
      std::unique_lock lock(latch->mutex);
      latch->cv.wait(lock, [&] { return latch->open; });
      latch->finished = true;
      return sampleApps();
    });
    view->show();
    ASSERT_TRUE(processUntil([&] { return latch->started.load(); }));
    view->close();
  }  // the sheet and its model are gone while the scan still runs
  latch->release();
  ASSERT_TRUE(processUntil([&] { return latch->finished.load(); }));
  // Let a late delivery, if any were posted, reach the loop.
  processFor(std::chrono::milliseconds(100));

  // Reopening scans again with a fresh model.
  std::atomic<int> scans{0};
  AppPickerView again(store_, [&] {
    ++scans;
    return sampleApps();
  });
  again.show();
  ASSERT_TRUE(processUntil([&] { return again.listView()->model()->rowCount() == 4; }));
  EXPECT_EQ(scans.load(), 1);
}

}  // namespace
