#include <QElapsedTimer>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <vector>

#include <gtest/gtest.h>

#include "BackendTestSupport.hpp"
#include "BlockingTestSupport.hpp"
#include "velmoria/MacBlockingOverlayView.hpp"

using velmoria::Appearance;
namespace Theme = velmoria::Theme;

namespace {

QImage render(velmoria::MacBlockingOverlayView& view) {
  QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

// The colour a translucent shield pixel shows over black, as a window server would composite it.
QColor overBlack(const QImage& image, int x, int y) {
  QImage one(1, 1, QImage::Format_ARGB32_Premultiplied);
  one.fill(Qt::black);
  QPainter p(&one);
  p.drawImage(QPoint(0, 0), image, QRect(x, y, 1, 1));
  p.end();
  return one.pixelColor(0, 0);
}

bool near(const QColor& a, const QColor& b, int tolerance = 6) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

// Whether any pixel of the rectangle is close to the colour.
bool contains(const QImage& image, const QRectF& area, const QColor& colour, int tolerance = 40) {
  const QRect r = area.toAlignedRect().intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) {
      if (near(overBlack(image, x, y), colour, tolerance)) return true;
    }
  }
  return false;
}

class OverlayViewTest : public ::testing::TestWithParam<Appearance> {
 protected:
  OverlayViewTest() { velmoria::testing::app(); }
};

TEST_P(OverlayViewTest, RendersTheSchemesGradientDiscAndTexts) {
  const bool dark = GetParam() == Appearance::dark;
  velmoria::OverlayModel model;
  model.setAppName("Solitaire");
  velmoria::MacBlockingOverlayView view(model, [] {});
  view.setColorScheme(GetParam());
  view.resize(1280, 800);
  view.setAppearProgress(1.0);
  view.setGlow(1.0);
  const QImage image = render(view);
  image.save(QString::fromStdString(
      (velmoria::testing::testOutput() / (dark ? "shield-dark.png" : "shield-light.png")).string()));

  // Top edge: the gradient's first colour at 0.92 over black.
  const QColor top = dark ? Theme::blue800() : Theme::blue100();
  EXPECT_TRUE(
      near(overBlack(image, 5, 0), QColor::fromRgbF(top.redF() * 0.92f, top.greenF() * 0.92f, top.blueF() * 0.92f), 4))
      << overBlack(image, 5, 0).name().toStdString();
  EXPECT_LT(qAlpha(image.pixel(5, image.height() - 1)), 210) << "the bottom is translucent (0.78)";

  const QRectF button = view.buttonRect();
  const QRectF message = view.messageRect();
  ASSERT_GT(message.height(), 10);

  // Texts are drawn: the title and the message hold their scheme's colours.
  const QColor symbol = dark ? Theme::blue300() : Theme::blue600();
  const QRectF titleBand(message.left(), message.top() - 60, message.width(), 50);
  EXPECT_TRUE(contains(image, titleBand, symbol, 60)) << "\"Locked.\" in the symbol colour";
  EXPECT_TRUE(contains(image, message, Theme::textSecondary.resolve(GetParam()), 60)) << "the message";
  EXPECT_TRUE(near(overBlack(image, int(button.left() + 8), int(button.center().y())), Theme::accent(), 8));
  EXPECT_TRUE(contains(image, button, Qt::white, 30)) << "the button label";
}

INSTANTIATE_TEST_SUITE_P(Schemes, OverlayViewTest, ::testing::Values(Appearance::light, Appearance::dark),
                         [](const auto& info) { return info.param == Appearance::dark ? "dark" : "light"; });

TEST(OverlayView, ContentStartsHiddenAtNinetySevenPercentAndTheNameUpdatesInPlace) {
  velmoria::testing::app();
  velmoria::OverlayModel model;
  model.setAppName("A");
  velmoria::MacBlockingOverlayView view(model, [] {});
  EXPECT_EQ(view.contentOpacity(), 0.0);
  EXPECT_DOUBLE_EQ(view.contentScale(), 0.97);
  EXPECT_DOUBLE_EQ(view.glow(), 0.7);
  EXPECT_FALSE(view.appeared());
  view.setColorScheme(Appearance::dark);
  view.resize(600, 500);
  const QImage hidden = render(view);
  const QRectF button = view.buttonRect();
  EXPECT_FALSE(contains(hidden, button, Theme::accent(), 8)) << "nothing of the content shows before the entrance";

  model.setAppName(QString(200, QChar('W')));
  EXPECT_TRUE(view.message().startsWith(QString(200, QChar('W')) + " is blocked"));
  EXPECT_LE(view.messageRect().width(), 440.0);
  EXPECT_GT(view.messageRect().height(), 3 * QFontMetricsF(QFont()).height()) << "a long name wraps, never truncates";

  EXPECT_EQ(view.messageLines().join(QString()).remove(' '), view.message().remove(' ')) << "no text is lost";

  view.show();
  EXPECT_TRUE(view.appeared());
  view.hide();
}

// The areas the view repaints, as its paint events give them.
class PaintedAreas final : public QObject {
 public:
  std::vector<QRect> areas;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) areas.push_back(static_cast<QPaintEvent*>(event)->rect());
    return QObject::eventFilter(watched, event);
  }
};

TEST(OverlayView, PulseAndEntranceRepaintOnlyWhatChangesAndShowTheCurrentNameSchemeAndGlow) {
  velmoria::testing::app();
  velmoria::OverlayModel model;
  model.setAppName("A");
  velmoria::MacBlockingOverlayView view(model, [] {});
  view.setColorScheme(Appearance::dark);
  view.resize(1280, 800);
  view.setAppearProgress(1.0);
  view.setGlow(0.7);
  const QImage dim = render(view);
  const QRectF shortMessage = view.messageRect();
  view.setGlow(1.0);
  const QImage bright = render(view);
  const QPoint edgeOfGlow = view.emblemRect().center().toPoint() + QPoint(100, 0);
  EXPECT_GT(qBlue(bright.pixel(edgeOfGlow)), qBlue(dim.pixel(edgeOfGlow))) << "the glow grows with its strength";

  model.setAppName(QString(30, QChar('W')));
  const QImage longer = render(view);
  const QRectF left(view.messageRect().left(), view.messageRect().top(),
                    shortMessage.left() - view.messageRect().left() - 4, view.messageRect().height());
  EXPECT_FALSE(contains(dim, left, Theme::textSecondary.resolve(Appearance::dark), 30));
  EXPECT_TRUE(contains(longer, left, Theme::textSecondary.resolve(Appearance::dark), 30)) << "the new name is drawn";

  view.setColorScheme(Appearance::light);
  const QImage light = render(view);
  const QRectF title(view.messageRect().left(), view.messageRect().top() - 60, view.messageRect().width(), 50);
  EXPECT_TRUE(contains(longer, title, Theme::blue300(), 12)) << "\"Locked.\" in the dark scheme's colour";
  EXPECT_TRUE(contains(light, title, Theme::blue600(), 12)) << "and in the light one's once light";
  EXPECT_FALSE(contains(light, title, Theme::blue300(), 12));

  // The next shield comes with a view of its own: the layers drawn for this one must not show its name.
  velmoria::OverlayModel nextModel;
  nextModel.setAppName("A");
  velmoria::MacBlockingOverlayView next(nextModel, [] {});
  next.setColorScheme(Appearance::light);
  next.resize(1280, 800);
  next.setAppearProgress(1.0);
  EXPECT_FALSE(contains(render(next), left, Theme::textSecondary.resolve(Appearance::light), 30))
      << "the previous shield's name";

  PaintedAreas painted;
  view.installEventFilter(&painted);
  view.show();
  const auto paintsAfter = [&](auto change) {
    QCoreApplication::processEvents();
    painted.areas.clear();
    change();
    velmoria::testing::processUntil([&] { return !painted.areas.empty(); });
    return painted.areas;
  };
  // A shield shown at full size has no entrance: for several of its frames only the emblem is drawn again.
  QCoreApplication::processEvents();
  painted.areas.clear();
  QElapsedTimer standing;
  standing.start();
  while (standing.elapsed() < 200) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  for (const QRect& area : painted.areas) EXPECT_LE(area.width() * area.height(), 250 * 250) << "no entrance";
  const auto glowFrame = paintsAfter([&] { view.setGlow(0.8); });
  ASSERT_FALSE(glowFrame.empty());
  for (const QRect& area : glowFrame) EXPECT_LE(area.width() * area.height(), 250 * 250) << "the emblem alone";
  const auto entranceFrame = paintsAfter([&] { view.setAppearProgress(0.5); });
  ASSERT_FALSE(entranceFrame.empty());
  for (const QRect& area : entranceFrame) {
    EXPECT_LE(area.width(), 460) << "the column, not the window";
    EXPECT_LT(area.height(), 700);
  }
  view.hide();
}

TEST(OverlayView, TheEntranceGrowsToFullInAThirdOfASecondWithAFewFramesOnly) {
  velmoria::testing::app();
  velmoria::OverlayModel model;
  model.setAppName("Solitaire");
  velmoria::MacBlockingOverlayView view(model, [] {});
  view.resize(1280, 800);
  PaintedAreas painted;
  view.installEventFilter(&painted);
  QElapsedTimer clock;
  clock.start();
  view.show();
  ASSERT_TRUE(velmoria::testing::processUntil([&] { return view.appearProgress() >= 1.0; }));
  EXPECT_GE(clock.elapsed(), 290) << "the entrance lasts 0.3 s";
  EXPECT_DOUBLE_EQ(view.contentScale(), 1.0);
  EXPECT_LE(painted.areas.size(), 14u) << "a whole column redrawn at every frame of a fast animation";
  view.hide();
}

TEST(OverlayView, TheGlowSwingsBetweenSevenTenthsAndFullAndBack) {
  using velmoria::MacBlockingOverlayView;
  const qint64 period = MacBlockingOverlayView::kPulsePeriod.count();
  EXPECT_DOUBLE_EQ(MacBlockingOverlayView::glowAt(0), 0.7);
  EXPECT_DOUBLE_EQ(MacBlockingOverlayView::glowAt(period), 1.0);
  EXPECT_DOUBLE_EQ(MacBlockingOverlayView::glowAt(2 * period), 0.7);
  EXPECT_NEAR(MacBlockingOverlayView::glowAt(period / 2), 0.85, 1e-9);
  EXPECT_DOUBLE_EQ(MacBlockingOverlayView::glowAt(period / 4), MacBlockingOverlayView::glowAt(2 * period - period / 4));
  EXPECT_DOUBLE_EQ(MacBlockingOverlayView::glowAt(7 * period + 100), MacBlockingOverlayView::glowAt(period - 100));
  for (qint64 ms = 0; ms < 4 * period; ms += 37) {
    const double glow = MacBlockingOverlayView::glowAt(ms);
    EXPECT_GE(glow, 0.7);
    EXPECT_LE(glow, 1.0);
  }
}

TEST(OverlayView, TheMessageBreaksBetweenWords) {
  velmoria::testing::app();
  velmoria::OverlayModel model;
  velmoria::MacBlockingOverlayView view(model, [] {});
  const QStringList words = QString(" is blocked while your focus session is running.").split(' ', Qt::SkipEmptyParts);
  // Names of every length move the break point through each word of the sentence.
  for (int length = 1; length <= 40; ++length) {
    model.setAppName(QString(length, QChar('m')) + " App");
    const QStringList lines = view.messageLines();
    ASSERT_GE(lines.size(), 1);
    for (const QString& line : lines) {
      for (const QString& word : line.split(' ', Qt::SkipEmptyParts)) {
        if (word.startsWith('m') || word == "App") continue;
        EXPECT_TRUE(words.contains(word)) << "\"" << word.toStdString() << "\" is a broken word";
      }
    }
  }
}

}  // namespace
