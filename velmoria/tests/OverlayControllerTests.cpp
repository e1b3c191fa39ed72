#include <QMouseEvent>

#include <gtest/gtest.h>

#include "BlockingTestSupport.hpp"
#include "velmoria/BlockingOverlayController.hpp"
#include "velmoria/MacBlockingOverlayView.hpp"

using namespace std::chrono_literals;
using Fake = velmoria::platform::desktop::FakeShieldWindowSystem;

namespace {

class OverlayControllerTest : public ::testing::Test {
 protected:
  OverlayControllerTest() { velmoria::testing::app(); }
  velmoria::platform::ManualScheduler scheduler;
  Fake shields;
  velmoria::OverlayModel model;
  velmoria::BlockingOverlayController controller{model, shields, scheduler};
};

TEST_F(OverlayControllerTest, OneFadingWindowPerScreenAndTheAppComesToTheFront) {
  shields.screenFrames = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
  controller.show("");
  EXPECT_EQ(model.appName(), "This app");
  ASSERT_EQ(shields.created.size(), 2u);
  EXPECT_EQ(shields.created[1]->frame, QRect(1920, 0, 1280, 1024));
  EXPECT_TRUE(shields.created[0]->fadedIn && shields.created[1]->fadedIn);
  EXPECT_NE(dynamic_cast<velmoria::MacBlockingOverlayView*>(shields.created[0]->content.get()), nullptr);
  EXPECT_EQ(shields.activations, 1);

  controller.dismiss();
  EXPECT_EQ(controller.windowCount(), 0u);  // at once, before the fade ends
  ASSERT_EQ(shields.created.size(), 2u);
  EXPECT_TRUE(shields.created[0]->fadingOut && shields.created[1]->fadingOut);
  EXPECT_EQ(shields.created[0]->fadeDuration, 250ms);
  shields.finishFades();
  EXPECT_EQ(shields.destroyedCount, 2);
  EXPECT_TRUE(shields.created.empty());
}

TEST_F(OverlayControllerTest, AutoDismissComesThreeSecondsAfterTheLastShow) {
  controller.show("Game");
  scheduler.advance(2000ms);
  controller.show("Other");
  EXPECT_EQ(shields.createdCount, 1);
  EXPECT_EQ(model.appName(), "Other");
  scheduler.advance(2999ms);
  EXPECT_TRUE(controller.isPresented()) << "the first period must not cut the second short";
  scheduler.advance(1ms);
  EXPECT_FALSE(controller.isPresented());
}

TEST_F(OverlayControllerTest, AShowDuringTheFadeBuildsAFreshSet) {
  controller.show("Game");
  controller.dismiss();
  controller.show("Game");
  EXPECT_EQ(shields.createdCount, 2);
  EXPECT_EQ(controller.windowCount(), 1u);
  shields.finishFades();  // the old set goes, the new one stays
  EXPECT_EQ(shields.destroyedCount, 1);
  EXPECT_EQ(controller.windowCount(), 1u);
  EXPECT_TRUE(controller.isPresented());

  controller.dismiss();
  controller.dismiss();  // nothing presented: nothing more happens
  shields.finishFades();
  EXPECT_EQ(shields.destroyedCount, 2);
}

TEST_F(OverlayControllerTest, TheViewsButtonDismissesEveryScreen) {
  shields.screenFrames = {QRect(0, 0, 800, 600), QRect(800, 0, 800, 600)};
  controller.show("Game");
  auto* view = static_cast<velmoria::MacBlockingOverlayView*>(shields.created[1]->content.get());
  view->resize(800, 600);
  const QPointF at = view->buttonRect().center();
  QMouseEvent press(QEvent::MouseButtonPress, at, view->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, view->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(view, &press);
  QCoreApplication::sendEvent(view, &release);
  EXPECT_FALSE(controller.isPresented());
  EXPECT_TRUE(shields.created[0]->fadingOut && shields.created[1]->fadingOut);
  scheduler.advance(5000ms);  // the cancelled period does nothing
  shields.finishFades();
}

}  // namespace
