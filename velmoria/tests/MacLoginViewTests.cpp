// The sign-in screen driven by the keyboard, against the fake auth service.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "BackendTestSupport.hpp"
#include "velmoria/LoginViewModel.hpp"
#include "velmoria/MacAppState.hpp"
#include "velmoria/MacLoginView.hpp"

using namespace std::chrono_literals;
using velmoria::testing::processFor;
using velmoria::testing::processUntil;

namespace {

class SignInScreenTest : public ::testing::Test, protected velmoria::testing::BackendFixture {
 protected:
  SignInScreenTest() : client(makeClient()), state(client), login(client), screen(state, login) {
    screen.resize(480, 640);
    screen.show();
    screen.activateWindow();
    processFor(10ms);
  }

  void type(QLineEdit* field, const QString& text) {
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
  }
  std::string code() const { return *service.lastCode("ada@example.com"); }

  std::shared_ptr<zirudeze::ZirudezeClient> client;
  velmoria::MacAppState state;
  velmoria::LoginViewModel login;
  velmoria::MacLoginView screen;
};

TEST_F(SignInScreenTest, TheKeyboardAloneSignsIn) {
  EXPECT_EQ(screen.focusWidget(), screen.emailField()) << "the address field has the focus when shown";
  EXPECT_EQ(screen.emailField()->objectName(), "emailField");
  EXPECT_EQ(screen.sendButton()->text(), QStringLiteral("Get verification code"));

  type(screen.emailField(), "ada@example");
  processFor(20ms);
  EXPECT_TRUE(screen.errorLine()->isVisibleTo(&screen));
  EXPECT_EQ(screen.errorLine()->text(), QStringLiteral("Bitte gib eine gültige E-Mail-Adresse ein."));
  EXPECT_TRUE(requestsTo("/auth/v1/otp").empty());

  type(screen.emailField(), ".com");
  ASSERT_TRUE(processUntil([&] { return screen.isShowingCodeStep(); }));
  EXPECT_EQ(login.email(), QStringLiteral("ada@example.com"));
  EXPECT_FALSE(screen.errorLine()->isVisibleTo(&screen));
  EXPECT_EQ(screen.focusWidget(), screen.codeField()) << "the code field takes the focus on its step";
  EXPECT_EQ(screen.findChild<QLabel*>("codeSentence")->text(),
            QStringLiteral("We sent a 6-digit code to ada@example.com."));

  type(screen.codeField(), "000 x");
  ASSERT_TRUE(processUntil([&] { return screen.errorLine()->isVisibleTo(&screen); }));
  EXPECT_EQ(screen.errorLine()->text(), QStringLiteral("Ungültiger Code. Bitte erneut versuchen."));
  EXPECT_FALSE(state.isLoggedIn());
  const auto verify = requestsTo("/auth/v1/verify");
  ASSERT_EQ(verify.size(), 1u);
  EXPECT_NE(verify[0].body.find("\"000 x\""), std::string::npos) << "the code goes out as typed";

  screen.codeField()->clear();
  login.setOtpCode("");
  type(screen.codeField(), QString::fromStdString(code()));
  ASSERT_TRUE(processUntil([&] { return state.isLoggedIn(); }));
}

TEST_F(SignInScreenTest, ButtonsWaitWhileARequestRunsButReturnStillSubmits) {
  service.setDelay("otp", 300ms);
  screen.emailField()->setFocus();
  type(screen.emailField(), "ada@example.com");
  EXPECT_TRUE(login.isLoading());
  EXPECT_FALSE(screen.sendButton()->isEnabled());
  EXPECT_EQ(screen.sendButton()->text(), QStringLiteral("Sending…"));
  QTest::keyClick(screen.emailField(), Qt::Key_Return);
  ASSERT_TRUE(processUntil([&] { return !login.isLoading() && requestsTo("/auth/v1/otp").size() == 2; }));
  EXPECT_TRUE(screen.isShowingCodeStep());
  EXPECT_TRUE(screen.verifyButton()->isEnabled());
  EXPECT_EQ(screen.verifyButton()->text(), QStringLiteral("Verify & sign in"));
}

TEST_F(SignInScreenTest, ADifferentEmailDuringAVerificationStillSignsIn) {
  login.setEmail("ada@example.com");
  screen.submitEmail();
  ASSERT_TRUE(processUntil([&] { return screen.isShowingCodeStep(); }));
  service.setDelay("verify", 300ms);
  type(screen.codeField(), QString::fromStdString(code()));
  EXPECT_FALSE(screen.verifyButton()->isEnabled());
  EXPECT_EQ(screen.verifyButton()->text(), QStringLiteral("Verifying…"));
  EXPECT_TRUE(screen.differentEmailButton()->isEnabled());
  screen.differentEmailButton()->click();
  EXPECT_FALSE(screen.isShowingCodeStep());
  EXPECT_EQ(screen.emailField()->text(), QStringLiteral("ada@example.com"));
  EXPECT_TRUE(screen.codeField()->text().isEmpty());
  ASSERT_TRUE(processUntil([&] { return state.isLoggedIn(); }));
}

}  // namespace
