#include "velmoria/LoginViewModel.hpp"

#include <QPointer>
#include <QRegularExpression>

#include "concurrency/Task.hpp"
#include "velmoria/MainThread.hpp"

namespace velmoria {

const QString& LoginViewModel::invalidEmailMessage() {
  static const QString text = QStringLiteral("Bitte gib eine gültige E-Mail-Adresse ein.");
  return text;
}

const QString& LoginViewModel::sendFailedMessage() {
  static const QString text = QStringLiteral("Code konnte nicht gesendet werden. Bitte erneut versuchen.");
  return text;
}

const QString& LoginViewModel::invalidCodeMessage() {
  static const QString text = QStringLiteral("Ungültiger Code. Bitte erneut versuchen.");
  return text;
}

LoginViewModel::LoginViewModel(std::shared_ptr<zirudeze::ZirudezeClient> client, QObject* parent)
    : QObject(parent), client_(std::move(client)) {}

bool LoginViewModel::isValidEmail(const QString& email) {
  static const QRegularExpression pattern(
      QRegularExpression::anchoredPattern(QStringLiteral("[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,}")));
  return pattern.match(email).hasMatch();
}

void LoginViewModel::setEmail(const QString& email) {
  if (email == email_) return;
  email_ = email;
  Q_EMIT emailChanged();
}

void LoginViewModel::setOtpCode(const QString& code) {
  if (code == otpCode_) return;
  otpCode_ = code;
  Q_EMIT otpCodeChanged();
}

void LoginViewModel::sendCode(std::function<void()> done) {
  if (!isValidEmail(email_)) {
    setErrorMessage(invalidEmailMessage());
    if (done) done();
    return;
  }
  setLoading(true);
  setErrorMessage(std::nullopt);
  const QPointer<LoginViewModel> self(this);
  zirudeze::concurrency::Task([self, client = client_, email = email_.toStdString(), done = std::move(done)] {
    bool sent = true;
    try {
      client->auth()->signInWithOTP(
          zirudeze::auth::Email{email},
          {.redirectTo = std::nullopt, .shouldCreateUser = true, .data = std::nullopt, .captchaToken = std::nullopt});
    } catch (...) {
      sent = false;  // the service's own text is never shown
    }
    onMainThread(self, [sent, done](LoginViewModel& model) {
      if (sent) {
        model.setOtpSent(true);
      } else {
        model.setErrorMessage(sendFailedMessage());
      }
      model.setLoading(false);
      if (done) done();
    });
  });
}

void LoginViewModel::verify(std::function<void(bool)> done) {
  setLoading(true);
  setErrorMessage(std::nullopt);
  const QPointer<LoginViewModel> self(this);
  zirudeze::concurrency::Task(
      [self, client = client_, email = email_.toStdString(), code = otpCode_.toStdString(), done = std::move(done)] {
        bool accepted = true;
        try {
          client->auth()->verifyOTP(zirudeze::auth::Email{email}, code, zirudeze::auth::EmailOTPType::email,
                                    {.redirectTo = std::nullopt, .captchaToken = std::nullopt});
        } catch (...) {
          accepted = false;
        }
        onMainThread(self, [accepted, done](LoginViewModel& model) {
          if (!accepted) model.setErrorMessage(invalidCodeMessage());
          model.setLoading(false);
          if (done) done(accepted);
        });
      });
}

void LoginViewModel::reset() {
  setOtpSent(false);
  setOtpCode(QString());
  setErrorMessage(std::nullopt);
}

void LoginViewModel::setOtpSent(bool value) {
  if (value == otpSent_) return;
  otpSent_ = value;
  Q_EMIT otpSentChanged();
}

void LoginViewModel::setLoading(bool value) {
  if (value == isLoading_) return;
  isLoading_ = value;
  Q_EMIT isLoadingChanged();
}

void LoginViewModel::setErrorMessage(std::optional<QString> message) {
  if (message == errorMessage_) return;
  errorMessage_ = std::move(message);
  Q_EMIT errorMessageChanged();
}

}  // namespace velmoria
