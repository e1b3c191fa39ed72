#pragma once

#include <QPointer>
#include <QWidget>
#include <optional>

#include "velmoria/Theme.hpp"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmoria {

class LoginViewModel;
class MacAppState;
class PrimaryButtonLabel;

// The sign-in screen: the e-mail address, then the code mailed to it. Everything it shows follows the
// sign-in view model; Return in a field submits its step. A step's field takes the keyboard focus
// whenever the step comes on screen.
class MacLoginView : public QWidget {
  Q_OBJECT

 public:
  MacLoginView(MacAppState& app, LoginViewModel& login, QWidget* parent = nullptr);

  // The send and verify actions (Return in the fields, the two buttons) and "Use a different email".
  void submitEmail();
  void submitCode();
  void useDifferentEmail();

  bool isShowingCodeStep() const;
  QLineEdit* emailField() const { return emailField_; }
  QLineEdit* codeField() const { return codeField_; }
  QPushButton* sendButton() const;
  QPushButton* verifyButton() const;
  QPushButton* differentEmailButton() const { return differentEmail_; }
  QLabel* errorLine() const { return error_; }
  QWidget* card() const { return card_; }

  void setColorScheme(std::optional<Appearance> scheme);
  Appearance colorScheme() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void restyle();
  void sync();
  void focusStep();

  QPointer<MacAppState> app_;
  LoginViewModel& login_;
  std::optional<Appearance> scheme_;
  QWidget* card_ = nullptr;
  QLabel* title_ = nullptr;
  QLabel* subtitle_ = nullptr;
  QWidget* emailStep_ = nullptr;
  QWidget* codeStep_ = nullptr;
  QLineEdit* emailField_ = nullptr;
  PrimaryButtonLabel* send_ = nullptr;
  QLabel* sentTo_ = nullptr;
  QLineEdit* codeField_ = nullptr;
  PrimaryButtonLabel* verify_ = nullptr;
  QPushButton* differentEmail_ = nullptr;
  QLabel* error_ = nullptr;
};

}  // namespace velmoria
