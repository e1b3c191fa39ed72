// The sign-in and home screens rendered offscreen in both appearances, saved as PNG and probed.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>

#include <gtest/gtest.h>

#include "HomeTestSupport.hpp"
#include "ScreenTestSupport.hpp"
#include "velmoria/HomeControls.hpp"
#include "velmoria/LoginViewModel.hpp"
#include "velmoria/MacHomeView.hpp"
#include "velmoria/MacLoginView.hpp"
#include "velmoria/ScreenWidgets.hpp"
#include "velmoria/SessionViewModel.hpp"
#include "velmoria/TransparentProxyManager.hpp"

using namespace std::chrono_literals;
using velmoria::Appearance;
namespace Theme = velmoria::Theme;
using velmoria::testing::areaHas;
using velmoria::testing::closeTo;
using velmoria::testing::processFor;
using velmoria::testing::processUntil;

namespace {

const char* nameOf(Appearance a) { return a == Appearance::dark ? "dark" : "light"; }

QRect inside(QWidget* child, QWidget* top) { return QRect(child->mapTo(top, QPoint(0, 0)), child->size()); }

// The card holds the step on screen and nothing more: it ends `last`'s height below the step's last
// control, 20 apart, and sits in the middle of the screen.
void expectCardEndsWith(velmoria::MacLoginView& screen, QWidget* stepEnd, QWidget* last) {
  const QRect card = inside(screen.card(), &screen);
  const QRect end = inside(stepEnd, &screen);
  if (last) {
    const QRect line = inside(last, &screen);
    EXPECT_EQ(line.top() - end.bottom() - 1, 20) << "the line follows the step's last control at the card's spacing";
    EXPECT_EQ(card.bottom(), line.bottom());
  } else {
    EXPECT_EQ(card.bottom(), end.bottom()) << "the card is as tall as the step shown";
  }
  EXPECT_LE(std::abs(card.top() - (screen.height() - 1 - card.bottom())), 1) << "the card sits in the middle";
}

class SignInScreenshot : public ::testing::TestWithParam<Appearance>, protected velmoria::testing::BackendFixture {};

TEST_P(SignInScreenshot, BothStepsAndAnErrorLine) {
  const Appearance a = GetParam();
  const auto client = makeClient();
  velmoria::MacAppState state(client);
  velmoria::LoginViewModel login(client);
  velmoria::MacLoginView screen(state, login);
  screen.setColorScheme(a);
  screen.resize(480, 640);
  screen.show();

  QImage email = velmoria::testing::renderOver(screen, Qt::magenta);
  velmoria::testing::saveScreenshot(email, std::string("signin-email-") + nameOf(a));
  EXPECT_TRUE(closeTo(email.pixelColor(4, 4), Theme::background.resolve(a), 2));
  const QRect send = inside(screen.sendButton(), &screen);
  EXPECT_EQ(send.width(), 360) << "the card takes its full width at the window's minimum";
  EXPECT_TRUE(closeTo(email.pixelColor(send.center().x(), send.top() + 6), Theme::accent(), 4));
  const QRect field = inside(screen.emailField(), &screen);
  EXPECT_TRUE(closeTo(email.pixelColor(field.right() - 20, field.center().y()), Theme::surface.resolve(a), 3));
  expectCardEndsWith(screen, screen.sendButton(), nullptr);

  login.setEmail("ada@");
  screen.submitEmail();
  QImage refused = velmoria::testing::renderOver(screen, Qt::magenta);
  velmoria::testing::saveScreenshot(refused, std::string("signin-email-error-") + nameOf(a));
  EXPECT_TRUE(areaHas(refused, inside(screen.errorLine(), &screen), Theme::danger.resolve(a), 40));
  expectCardEndsWith(screen, screen.sendButton(), screen.errorLine());

  login.setEmail("first.last+focus@a-rather-long-subdomain.example.com");
  screen.submitEmail();
  ASSERT_TRUE(processUntil([&] { return screen.isShowingCodeStep(); }));
  login.setOtpCode("12345");
  screen.submitCode();
  ASSERT_TRUE(processUntil([&] { return login.errorMessage().has_value(); }));
  QImage code = velmoria::testing::renderOver(screen, Qt::magenta);
  velmoria::testing::saveScreenshot(code, std::string("signin-code-") + nameOf(a));
  const QRect verify = inside(screen.verifyButton(), &screen);
  EXPECT_TRUE(closeTo(code.pixelColor(verify.center().x(), verify.top() + 6), Theme::accent(), 4));
  EXPECT_TRUE(areaHas(code, inside(screen.errorLine(), &screen), Theme::danger.resolve(a), 40));
  auto* sentence = screen.findChild<QLabel*>("codeSentence");
  EXPECT_GE(sentence->height(), 2 * sentence->fontMetrics().height()) << "the long address wraps, never cut";
  expectCardEndsWith(screen, screen.differentEmailButton(), screen.errorLine());
}

INSTANTIATE_TEST_SUITE_P(BothAppearances, SignInScreenshot, ::testing::Values(Appearance::light, Appearance::dark),
                         [](const auto& info) { return nameOf(info.param); });

class HomeScreenshot : public ::testing::TestWithParam<Appearance>, protected velmoria::testing::AppFixture {
 protected:
  HomeScreenshot() {
    signIn(*client);
    appState.setLoggedIn(true);
    addMode("strict", true);
    blocklist.toggle("org.example.Game");
    blocklist.toggle("org.example.Editor");
    (void)webBlocklist.add("youtube.com");
  }
};

TEST_P(HomeScreenshot, FollowingAndLocked) {
  const Appearance a = GetParam();
  velmoria::SessionViewModel session(client);
  int finished = 0;
  QObject::connect(&session, &velmoria::SessionViewModel::refreshFinished, [&] { ++finished; });
  velmoria::MacHomeView home(environment(), session);
  home.setColorScheme(a);
  home.resize(540, 940);
  home.show();
  home.appear();
  ASSERT_TRUE(processUntil([&] { return finished == 1; }));
  proxy.setState(velmoria::TransparentProxyManager::State::ready());

  QImage following = velmoria::testing::renderOver(home, Qt::magenta);
  velmoria::testing::saveScreenshot(following, std::string("home-following-") + nameOf(a));
  EXPECT_TRUE(closeTo(following.pixelColor(4, 4), Theme::background.resolve(a), 2));
  auto* pill = home.findChild<QWidget*>("statusPill");
  EXPECT_TRUE(areaHas(following, inside(pill, &home), Theme::accent(), 30)) << "the following dot";
  auto* apps = home.findChild<QWidget*>("appsRow");
  const QRect row = inside(apps, &home);
  EXPECT_EQ(row.width(), 420);
  EXPECT_TRUE(closeTo(following.pixelColor(row.center().x(), row.top() + 3), Theme::surface.resolve(a), 3));

  // The filter card's approval command and a failure's message are read whole, however long.
  auto* card = home.findChild<velmoria::SettingsCard*>("filterCard");
  auto* subtitle = card->findChild<velmoria::WrappingLabel*>("cardSubtitle");
  using State = velmoria::TransparentProxyManager::State;
  for (const auto& state :
       {State::needsApproval(),
        State::failed("Aktivierung fehlgeschlagen: /home/ada/projects/velmoria/build/release/filter-extension/"
                      "velmoria-filter needs CAP_NET_RAW and CAP_NET_ADMIN to see and block traffic")}) {
    proxy.setState(state);
    processFor(50ms);  // the new layout
    QImage shown = velmoria::testing::renderOver(home, Qt::magenta);
    const QStringList lines = subtitle->lines(subtitle->width());
    EXPECT_EQ(lines.join(QString()), subtitle->text()) << "nothing is cut";
    EXPECT_GE(subtitle->height(), lines.size() * QFontMetrics(velmoria::screenFont(12)).height());
    EXPECT_TRUE(inside(card, &home).contains(inside(subtitle, &home))) << "the card grows with its text";
    if (state.kind == State::Kind::failed) {
      EXPECT_GE(lines.size(), 3) << "the long message wraps";
      velmoria::testing::saveScreenshot(shown, std::string("home-filter-failed-") + nameOf(a));
    }
  }

  openSession(scheduler.now() + 15s - 83min, "strict");
  scheduler.advance(15s);
  ASSERT_TRUE(processUntil([&] { return finished == 2; }));
  ASSERT_TRUE(home.isLocked());
  scheduler.advance(400ms);  // the ring's sweep
  processFor(700ms);         // the gradient's fade
  proxy.setState(velmoria::TransparentProxyManager::State::running());
  QImage locked = velmoria::testing::renderOver(home, Qt::magenta);
  velmoria::testing::saveScreenshot(locked, std::string("home-locked-") + nameOf(a));
  const QColor top = a == Appearance::dark ? Theme::blue800() : Theme::blue100();
  EXPECT_TRUE(closeTo(locked.pixelColor(4, 2), top, 12)) << "the gradient starts at the top";
  EXPECT_TRUE(closeTo(locked.pixelColor(4, locked.height() - 4), Theme::background.resolve(a), 2));
  EXPECT_TRUE(areaHas(locked, inside(pill, &home), Theme::success.resolve(a), 30)) << "the locked dot";
  EXPECT_EQ(home.titleText(), QStringLiteral("1:23:00"));
  EXPECT_EQ(home.ringState().arcProgress, 1.0);
  const QRect ring = inside(home.findChild<QWidget*>("ringSlot"), &home);
  EXPECT_TRUE(areaHas(locked, QRect(ring.center().x() - 3, ring.top() + 8, 6, 10), Theme::accent(), 40))
      << "the full arc at 12 o'clock";
}

INSTANTIATE_TEST_SUITE_P(BothAppearances, HomeScreenshot, ::testing::Values(Appearance::light, Appearance::dark),
                         [](const auto& info) { return nameOf(info.param); });

}  // namespace
