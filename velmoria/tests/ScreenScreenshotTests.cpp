// Each sheet rendered offscreen in both appearances, saved as PNG and probed at a few pixels.
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

#include <gtest/gtest.h>

#include "EventLoopSupport.hpp"
#include "ScreenTestSupport.hpp"
#include "velmoria/AppPickerView.hpp"
#include "velmoria/ScreenPalette.hpp"
#include "velmoria/WebBlocklistView.hpp"

using velmoria::Appearance;
using velmoria::AppMeta;
namespace Theme = velmoria::Theme;
using velmoria::testing::areaHas;
using velmoria::testing::closeTo;
using velmoria::testing::processUntil;

namespace {

const char* nameOf(Appearance a) { return a == Appearance::dark ? "dark" : "light"; }

QRect inParent(QWidget* child, QWidget* top) { return QRect(child->mapTo(top, QPoint(0, 0)), child->size()); }

class ScreenshotTest : public ::testing::TestWithParam<Appearance> {
 protected:
  ScreenshotTest() { velmoria::testing::app(); }
  velmoria::platform::MemoryDefaultsSystem defaults_;
};

TEST_P(ScreenshotTest, WebSiteList) {
  const Appearance a = GetParam();
  velmoria::MacWebBlocklistStore store(defaults_);
  velmoria::WebBlocklistView view(store);
  view.setColorScheme(a);
  view.resize(460, 540);
  view.show();
  QImage empty = velmoria::testing::renderOver(view, Qt::magenta);
  velmoria::testing::saveScreenshot(empty, std::string("sites-empty-") + nameOf(a));
  EXPECT_TRUE(closeTo(empty.pixelColor(4, empty.height() - 4), Theme::background.resolve(a), 2));
  EXPECT_TRUE(
      areaHas(empty, inParent(view.findChild<QLabel*>("emptyTitle"), &view), Theme::textSecondary.resolve(a), 40));

  ASSERT_TRUE(store.add("example.org"));
  ASSERT_TRUE(store.add("youtube.com"));
  view.field()->setText("not a domain");
  view.addDomain();
  QImage listed = velmoria::testing::renderOver(view, Qt::magenta);
  velmoria::testing::saveScreenshot(listed, std::string("sites-listed-") + nameOf(a));
  // The field's outline turns red for the invalid text; rows sit on the surface colour.
  auto* row = view.findChild<QFrame*>("inputRow");
  const QRect outline = inParent(row, &view);
  EXPECT_TRUE(areaHas(listed, QRect(outline.left(), outline.center().y() - 2, 2, 4), Theme::danger.resolve(a), 40));
  // The chips of the suggestions still offered are drawn in the accent.
  EXPECT_TRUE(areaHas(listed, inParent(view.findChild<QWidget*>("chips"), &view), Theme::accent(), 40));
  QWidget* firstRow = nullptr;
  for (auto* w : view.findChildren<QFrame*>("domainRow")) {
    if (!firstRow || w->mapTo(&view, QPoint()).y() < firstRow->mapTo(&view, QPoint()).y()) firstRow = w;
  }
  ASSERT_NE(firstRow, nullptr);
  const QRect r = inParent(firstRow, &view);
  EXPECT_TRUE(closeTo(listed.pixelColor(r.center().x(), r.top() + 4), Theme::surface.resolve(a), 3));
  EXPECT_TRUE(areaHas(listed, QRect(r.left() + 12, r.top() + 4, 22, r.height() - 8), Theme::accent(), 40));
}

TEST_P(ScreenshotTest, AppPicker) {
  const Appearance a = GetParam();
  velmoria::MacBlocklistStore store(defaults_);
  store.toggle("org.example.Calc");
  velmoria::AppPickerView view(store, [] {
    return std::vector<AppMeta>{{"org.example.Calc", "Calculator", "/a/calc.desktop", ""},
                                {"org.example.Editor", "Editor", "/a/editor.desktop", ""},
                                {"org.example.Term", "Terminal", "/a/term.desktop", ""}};
  });
  view.setColorScheme(a);
  view.resize(460, 520);
  view.show();
  ASSERT_TRUE(processUntil([&] { return !view.isShowingProgress() && view.listView()->model()->rowCount() == 3; }));
  const QImage image = velmoria::testing::renderOver(view, Qt::magenta);
  velmoria::testing::saveScreenshot(image, std::string("apps-") + nameOf(a));
  const QPalette pal = velmoria::screenPalette(a);
  // The ticked row shows the accent check at its end, the others a secondary-colour ring.
  const QPoint origin = view.listView()->viewport()->mapTo(&view, QPoint());
  const QRect ticked = view.rowRect(0).translated(origin);
  const QRect plain = view.rowRect(1).translated(origin);
  EXPECT_TRUE(areaHas(image, QRect(ticked.right() - 32, ticked.top(), 24, ticked.height()),
                      pal.color(QPalette::Highlight), 30));
  EXPECT_FALSE(
      areaHas(image, QRect(plain.right() - 32, plain.top(), 24, plain.height()), pal.color(QPalette::Highlight), 30));
  if (a == Appearance::dark) {
    EXPECT_TRUE(closeTo(image.pixelColor(4, image.height() - 4), Theme::background.dark(), 2));
  }
}

INSTANTIATE_TEST_SUITE_P(BothAppearances, ScreenshotTest, ::testing::Values(Appearance::light, Appearance::dark),
                         [](const auto& info) { return nameOf(info.param); });

}  // namespace
