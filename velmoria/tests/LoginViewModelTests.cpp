// The sign-in form's view model through the real auth client against the fake auth service.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "BackendTestSupport.hpp"
#include "velmoria/LoginViewModel.hpp"

using namespace std::chrono_literals;
using velmoria::LoginViewModel;
using velmoria::testing::processUntil;

namespace {

class LoginTest : public ::testing::Test, protected velmoria::testing::BackendFixture {
 protected:
  LoginTest() : client(makeClient()), login(client) {
    // Every published change, in order, as "field=value".
    QObject::connect(&login, &LoginViewModel::isLoadingChanged,
                     [this] { changes.push_back(login.isLoading() ? "isLoading=true" : "isLoading=false"); });
    QObject::connect(&login, &LoginViewModel::otpSentChanged,
                     [this] { changes.push_back(login.otpSent() ? "otpSent=true" : "otpSent=false"); });
    QObject::connect(&login, &LoginViewModel::errorMessageChanged, [this] {
      changes.push_back("errorMessage=" + login.errorMessage().value_or("none").toStdString());
    });
  }

  void sendCode() {
    bool done = false;
    login.sendCode([&] { done = true; });
    ASSERT_TRUE(processUntil([&] { return done; }));
  }
  bool verify() {
    std::optional<bool> answer;
    login.verify([&](bool accepted) { answer = accepted; });
    EXPECT_TRUE(processUntil([&] { return answer.has_value(); }));
    return answer.value_or(false);
  }

  std::shared_ptr<zirudeze::ZirudezeClient> client;
  LoginViewModel login;
  std::vector<std::string> changes;
};

TEST_F(LoginTest, RefusedAddressesSendNothing) {
  for (const char* address : {"", "ada@example", "ada@example.c", "ada@@example.com", "a@b@example.com",
                              " ada@example.com", "ada@example.com ", "ädä@example.com"}) {
    login.setEmail(QString::fromUtf8(address));
    sendCode();
    EXPECT_EQ(login.errorMessage(), QStringLiteral("Bitte gib eine gültige E-Mail-Adresse ein.")) << address;
    EXPECT_FALSE(login.isLoading());
  }
  EXPECT_EQ(changes, (std::vector<std::string>{"errorMessage=Bitte gib eine gültige E-Mail-Adresse ein."}))
      << "isLoading never moves for a refused address";
  EXPECT_TRUE(requestsTo("/auth/v1/otp").empty());

  EXPECT_TRUE(LoginViewModel::isValidEmail("First.Last+tag@sub.example.de"));
  EXPECT_TRUE(LoginViewModel::isValidEmail("a_b%c-d@x-y.io"));
}

TEST_F(LoginTest, SendingPublishesInOrderAndASecondSendAsksAgain) {
  login.setEmail("First.Last+tag@sub.example.de");
  login.setOtpCode("999");
  sendCode();
  EXPECT_EQ(changes, (std::vector<std::string>{"isLoading=true", "otpSent=true", "isLoading=false"}));
  const auto otp = requestsTo("/auth/v1/otp");
  ASSERT_EQ(otp.size(), 1u);
  const auto body = nlohmann::json::parse(otp[0].body);
  EXPECT_EQ(body.at("email"), "First.Last+tag@sub.example.de");
  EXPECT_EQ(body.at("create_user"), true);
  EXPECT_FALSE(body.contains("data") && !body.at("data").is_null());

  // From the code step: a new code, still on the code step, the old message cleared first.
  changes.clear();
  service.failNext("otp", service.errorResponse(429, "over_email_send_rate_limit", "slow down"));
  sendCode();
  EXPECT_EQ(changes, (std::vector<std::string>{
                         "isLoading=true", "errorMessage=Code konnte nicht gesendet werden. Bitte erneut versuchen.",
                         "isLoading=false"}));
  EXPECT_TRUE(login.otpSent());
  changes.clear();
  sendCode();
  EXPECT_EQ(changes, (std::vector<std::string>{"isLoading=true", "errorMessage=none", "isLoading=false"}));
  EXPECT_TRUE(login.otpSent());
  EXPECT_EQ(requestsTo("/auth/v1/otp").size(), 3u);
}

TEST_F(LoginTest, AFailedFirstSendStaysOnTheAddressStep) {
  login.setEmail("ada@example.com");
  service.failNext("otp", service.errorResponse(400, "validation_failed", "Unable to validate email address"));
  sendCode();
  EXPECT_FALSE(login.otpSent());
  EXPECT_EQ(login.errorMessage(), QStringLiteral("Code konnte nicht gesendet werden. Bitte erneut versuchen."));
}

TEST_F(LoginTest, OnlyTheMailedCodeSignsIn) {
  login.setEmail("ada@example.com");
  sendCode();
  changes.clear();
  login.setOtpCode("");
  EXPECT_FALSE(verify()) << "an empty code is still asked about";
  EXPECT_EQ(requestsTo("/auth/v1/verify").size(), 1u);
  EXPECT_EQ(changes,
            (std::vector<std::string>{"isLoading=true", "errorMessage=Ungültiger Code. Bitte erneut versuchen.",
                                      "isLoading=false"}));
  login.setOtpCode("not a code");
  EXPECT_FALSE(verify());
  EXPECT_TRUE(login.otpSent());
  EXPECT_FALSE(client->auth()->currentSession());

  changes.clear();
  login.setOtpCode(QString::fromStdString(*service.lastCode("ada@example.com")));
  EXPECT_TRUE(verify());
  EXPECT_EQ(changes, (std::vector<std::string>{"isLoading=true", "errorMessage=none", "isLoading=false"}));
  EXPECT_TRUE(client->auth()->currentSession()) << "the session is stored";
  const auto verified = nlohmann::json::parse(requestsTo("/auth/v1/verify").back().body);
  EXPECT_EQ(verified.at("type"), "email");
  EXPECT_EQ(verified.at("email"), "ada@example.com");
}

TEST_F(LoginTest, ResetKeepsTheAddressAndClearsTheRest) {
  login.setEmail("ada@example.com");
  sendCode();
  login.setOtpCode("12");
  EXPECT_FALSE(verify());
  login.reset();
  EXPECT_FALSE(login.otpSent());
  EXPECT_TRUE(login.otpCode().isEmpty());
  EXPECT_FALSE(login.errorMessage());
  EXPECT_EQ(login.email(), QStringLiteral("ada@example.com"));
}

}  // namespace
