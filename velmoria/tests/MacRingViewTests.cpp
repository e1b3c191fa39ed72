#include <gtest/gtest.h>

#include "BackendTestSupport.hpp"
#include "ScreenTestSupport.hpp"
#include "velmoria/MacRingView.hpp"

using velmoria::Appearance;
using velmoria::MacRingView;
using velmoria::RingState;
namespace Theme = velmoria::Theme;
using velmoria::testing::areaHas;
using velmoria::testing::closeTo;

namespace {

class RingTest : public ::testing::TestWithParam<Appearance> {
 protected:
  RingTest() {
    view_.setColorScheme(GetParam());
    view_.resize(view_.sizeHint());
  }
  bool dark() const { return GetParam() == Appearance::dark; }
  QImage draw(bool locked, double progress, double glow = 1.0) {
    RingState s;
    s.isLocked = locked;
    s.arcProgress = progress;
    s.glowPulse = glow;
    view_.setState(s);
    return velmoria::testing::renderOver(view_, Theme::background.resolve(GetParam()));
  }
  // A point on the track at `degrees` clockwise from 12 o'clock.
  QPoint onTrack(double degrees) const {
    const double a = degrees * M_PI / 180;
    const QPointF c = view_.ringFrame().center();
    return QPoint(static_cast<int>(std::lround(c.x() + 116 * std::sin(a))),
                  static_cast<int>(std::lround(c.y() - 116 * std::cos(a))));
  }
  static QRect around(QPoint p, int r = 1) { return QRect(p.x() - r, p.y() - r, 2 * r + 1, 2 * r + 1); }
  QColor trackColour() const { return dark() ? Theme::gray800() : Theme::gray100(); }

  bool appReady_ = (velmoria::testing::app(), true);  // before the widget
  MacRingView view_;
};

TEST_P(RingTest, TheArcGrowsClockwiseFromTwelveOnlyWhileLocked) {
  const QImage quarter = draw(true, 0.25);
  EXPECT_TRUE(areaHas(quarter, around(onTrack(3)), Theme::accent()));
  EXPECT_TRUE(areaHas(quarter, around(onTrack(45)), Theme::accent()));
  EXPECT_FALSE(areaHas(quarter, around(onTrack(180)), Theme::accent(), 40));
  EXPECT_FALSE(areaHas(quarter, around(onTrack(315)), Theme::accent(), 40));

  const QImage full = draw(true, 1.0);
  for (double deg : {0.0, 90.0, 180.0, 270.0, 330.0})
    EXPECT_TRUE(areaHas(full, around(onTrack(deg)), Theme::accent())) << deg;

  // Not locked, even with the arc still at 1: only the track shows.
  const QImage idle = draw(false, 1.0);
  EXPECT_FALSE(areaHas(idle, around(onTrack(0), 2), Theme::accent(), 40));
  EXPECT_TRUE(areaHas(idle, around(onTrack(0)), trackColour(), 12));

  // Locked at 0: no arc yet, but the blue disc and the glow are there.
  const QImage start = draw(true, 0.0);
  EXPECT_FALSE(areaHas(start, around(onTrack(90), 2), Theme::accent(), 40));
}

TEST_P(RingTest, DiscTextsAndGlowFollowTheLockFlag) {
  const QPointF c = view_.ringFrame().center();
  const QPoint belowText(static_cast<int>(c.x()), static_cast<int>(c.y() + 90));
  const QImage locked = draw(true, 1.0);
  const QColor disc = locked.pixelColor(belowText);
  const QColor from = dark() ? Theme::blue700() : Theme::blue200();
  const QColor to = dark() ? Theme::blue800() : Theme::blue100();
  EXPECT_GE(disc.blue(), std::min(from.blue(), to.blue()) - 4);
  EXPECT_LE(disc.blue(), std::max(from.blue(), to.blue()) + 4);
  EXPECT_GT(disc.blue(), disc.red() + 8);
  const QRect titleBand(static_cast<int>(c.x() - 80), static_cast<int>(c.y() - 40), 160, 45);
  EXPECT_TRUE(areaHas(locked, titleBand, dark() ? Theme::blue300() : Theme::blue600(), 30));
  // The glow tints the space just outside the ring's frame.
  const QPoint outside(static_cast<int>(c.x()), static_cast<int>(view_.ringFrame().top() - 6));
  const QColor bg = Theme::background.resolve(GetParam());
  EXPECT_FALSE(closeTo(locked.pixelColor(outside), bg, 2));

  const QImage idle = draw(false, 0.0);
  const QColor idleDisc = idle.pixelColor(belowText);
  EXPECT_TRUE(closeTo(idleDisc, dark() ? Theme::gray900() : QColor(Qt::white), 3)) << idleDisc.name().toStdString();
  EXPECT_TRUE(areaHas(idle, titleBand, Theme::textPrimary.resolve(GetParam()), 30));
  EXPECT_TRUE(closeTo(idle.pixelColor(outside), bg, 3));
  velmoria::testing::saveScreenshot(locked, std::string("ring-locked-") + (dark() ? "dark" : "light"));
  velmoria::testing::saveScreenshot(idle, std::string("ring-following-") + (dark() ? "dark" : "light"));
}

TEST_P(RingTest, ASweepsFramesAfterASchemeChangeMatchAFreshRing) {
  draw(true, 0.3);
  const Appearance other = dark() ? Appearance::light : Appearance::dark;
  view_.setColorScheme(other);
  RingState s;
  s.isLocked = true;
  s.arcProgress = 0.5;
  view_.setState(s);
  const QImage swept = velmoria::testing::renderOver(view_, Theme::background.resolve(other));

  MacRingView fresh;
  fresh.setColorScheme(other);
  fresh.resize(view_.size());
  fresh.setState(s);
  EXPECT_EQ(swept, velmoria::testing::renderOver(fresh, Theme::background.resolve(other)))
      << "a frame of the sweep drew the body of the old scheme";
  EXPECT_TRUE(areaHas(swept, around(onTrack(170)), Theme::accent()));
  EXPECT_FALSE(areaHas(swept, around(onTrack(200)), Theme::accent(), 40));
}

INSTANTIATE_TEST_SUITE_P(BothAppearances, RingTest, ::testing::Values(Appearance::light, Appearance::dark),
                         [](const auto& info) { return info.param == Appearance::dark ? "dark" : "light"; });

TEST(RingGlow, AGlowStepTooSmallToSeeRepaintsNothingAndTheNextCatchesUp) {
  velmoria::testing::app();
  MacRingView view;
  view.resize(view.sizeHint());
  RingState s;
  s.isLocked = true;
  s.arcProgress = 1;
  s.glowPulse = 0.70;
  view.setState(s);
  view.show();
  velmoria::testing::processFor(std::chrono::milliseconds(30));
  velmoria::testing::EventCount paints(QEvent::Paint);
  view.installEventFilter(&paints);
  s.glowPulse = 0.71;
  view.setState(s);
  velmoria::testing::processFor(std::chrono::milliseconds(30));
  EXPECT_EQ(paints.count, 0) << "a frame for a change of less than a step of colour";
  EXPECT_DOUBLE_EQ(view.state().glowPulse, 0.71);
  s.glowPulse = 0.725;
  view.setState(s);
  velmoria::testing::processFor(std::chrono::milliseconds(30));
  EXPECT_GE(paints.count, 1) << "the small steps add up to one worth drawing";
  view.hide();
}

TEST(RingText, TitlesCaptionsAndShrinking) {
  velmoria::testing::app();
  EXPECT_EQ(MacRingView::title(true), "Locked.");
  EXPECT_EQ(MacRingView::title(false), "velmoria.");
  EXPECT_EQ(MacRingView::caption(true), "ACTIVE");
  EXPECT_EQ(MacRingView::caption(false), "FOLLOWING");
  EXPECT_DOUBLE_EQ(MacRingView::fittedTitleSize(true, 224), 42);
  EXPECT_DOUBLE_EQ(MacRingView::fittedTitleSize(false, 224), 32);
  EXPECT_DOUBLE_EQ(MacRingView::fittedTitleSize(true, 20), 42 * 0.7);  // never below 70 %
  const double narrow = MacRingView::fittedTitleSize(true, 120);
  EXPECT_LT(narrow, 42);
  EXPECT_GE(narrow, 42 * 0.7);
}

TEST(RingLayout, TheWidgetLeavesRoomForTheOverflowAroundA252Frame) {
  velmoria::testing::app();
  MacRingView view;
  EXPECT_EQ(view.sizeHint(), QSize(252 + 72, 252 + 72));
  view.resize(view.sizeHint());
  EXPECT_EQ(view.ringFrame(), QRectF(36, 36, 252, 252));
}

}  // namespace
