#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "zirudeze/ZirudezeClient.hpp"

namespace velmoria {

// The two-step sign-in form: the e-mail address, then the one-time code the backend mails to it.
// Main thread only; requests run on worker threads and their outcome is published back here.
class LoginViewModel : public QObject {
  Q_OBJECT

 public:
  static const QString& invalidEmailMessage();
  static const QString& sendFailedMessage();
  static const QString& invalidCodeMessage();

  explicit LoginViewModel(std::shared_ptr<zirudeze::ZirudezeClient> client, QObject* parent = nullptr);

  const QString& email() const { return email_; }
  const QString& otpCode() const { return otpCode_; }
  bool otpSent() const { return otpSent_; }
  bool isLoading() const { return isLoading_; }
  const std::optional<QString>& errorMessage() const { return errorMessage_; }

  void setEmail(const QString& email);
  void setOtpCode(const QString& code);

  // Whether the whole text, as typed, is an address the form accepts.
  static bool isValidEmail(const QString& email);

  // Asks for a code for `email`; `done` runs on the main thread once the outcome is published (at once
  // for a refused address). A call while another runs sends another request.
  void sendCode(std::function<void()> done = {});
  // Verifies `otpCode` for `email`; `done` gets whether the code was accepted.
  void verify(std::function<void(bool accepted)> done = {});
  // Back to the address step; the address stays.
  void reset();

 Q_SIGNALS:
  void emailChanged();
  void otpCodeChanged();
  void otpSentChanged();
  void isLoadingChanged();
  void errorMessageChanged();

 private:
  void setOtpSent(bool value);
  void setLoading(bool value);
  void setErrorMessage(std::optional<QString> message);

  std::shared_ptr<zirudeze::ZirudezeClient> client_;
  QString email_;
  QString otpCode_;
  bool otpSent_ = false;
  bool isLoading_ = false;
  std::optional<QString> errorMessage_;
};

}  // namespace velmoria
