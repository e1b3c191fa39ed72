#include "velmoria/MacLoginView.hpp"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "velmoria/LoginViewModel.hpp"
#include "velmoria/MacAppState.hpp"
#include "velmoria/ScreenPalette.hpp"
#include "velmoria/ScreenWidgets.hpp"
#include "velmoria/SymbolIcon.hpp"

namespace velmoria {
namespace {

QString localized(const char* text) { return QCoreApplication::translate("MacLoginView", text); }

constexpr int kCardWidth = 360;

// A caption in capitals over its field.
QWidget* labeledField(const QString& caption, QLineEdit* field) {
  auto* holder = new QWidget;
  holder->setAttribute(Qt::WA_TranslucentBackground);
  auto* column = new QVBoxLayout(holder);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(8);
  auto* label = new QLabel(caption.toUpper());
  label->setObjectName("caption");
  label->setFont(screenFont(11, QFont::Bold, 0.77));
  label->setContentsMargins(4, 0, 0, 0);
  label->setBuddy(field);
  column->addWidget(label);
  column->addWidget(field);
  return holder;
}

QLineEdit* textField(const char* name, const QString& placeholder, const QString& accessibleName) {
  auto* field = new QLineEdit;
  field->setObjectName(name);
  field->setPlaceholderText(placeholder);
  field->setAccessibleName(accessibleName);
  field->setFont(screenFont(16, QFont::Medium));
  field->setFrame(false);
  return field;
}

}  // namespace

MacLoginView::MacLoginView(MacAppState& app, LoginViewModel& login, QWidget* parent)
    : QWidget(parent), app_(&app), login_(login) {
  setObjectName("login");
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(40, 40, 40, 40);
  outer->setSpacing(0);
  outer->addStretch(1);

  card_ = new QWidget;
  card_->setObjectName("loginCard");
  auto* card = new QVBoxLayout(card_);
  card->setContentsMargins(0, 0, 0, 0);
  card->setSpacing(20);
  outer->addWidget(new CentredBox(card_, kCardWidth));
  outer->addStretch(1);

  auto* header = new QVBoxLayout;
  header->setSpacing(6);
  title_ = new QLabel(localized("velmoria."));
  title_->setObjectName("title");
  title_->setFont(screenFont(32, QFont::ExtraBold, -1.2));
  header->addWidget(title_);
  subtitle_ = new QLabel(localized("Sign in with the same account you use on your iPhone."));
  subtitle_->setObjectName("subtitle");
  subtitle_->setFont(screenFont(14, QFont::Normal, -0.1));
  subtitle_->setWordWrap(true);
  header->addWidget(subtitle_);
  card->addLayout(header);

  // The two steps sit in the card one at a time; the hidden one takes no room, so the card is as tall as
  // the step it shows.
  auto* emailStep = new QWidget;
  emailStep->setObjectName("emailStep");
  auto* emailColumn = new QVBoxLayout(emailStep);
  emailColumn->setContentsMargins(0, 0, 0, 0);
  emailColumn->setSpacing(16);
  emailField_ = textField("emailField", localized("you@example.com"), localized("Email"));
  emailColumn->addWidget(labeledField(localized("Email"), emailField_));
  send_ = new PrimaryButtonLabel;
  send_->setObjectName("sendCodeButton");
  emailColumn->addWidget(send_);
  emailStep_ = emailStep;
  card->addWidget(emailStep);

  auto* codeStep = new QWidget;
  codeStep->setObjectName("codeStep");
  auto* codeColumn = new QVBoxLayout(codeStep);
  codeColumn->setContentsMargins(0, 0, 0, 0);
  codeColumn->setSpacing(16);
  sentTo_ = new QLabel;
  sentTo_->setObjectName("codeSentence");
  sentTo_->setFont(screenFont(13));
  sentTo_->setWordWrap(true);
  sentTo_->setTextFormat(Qt::PlainText);
  codeColumn->addWidget(sentTo_);
  codeField_ = textField("codeField", localized("000000"), localized("Verification code"));
  codeColumn->addWidget(labeledField(localized("Verification code"), codeField_));
  verify_ = new PrimaryButtonLabel;
  verify_->setObjectName("verifyButton");
  codeColumn->addWidget(verify_);
  differentEmail_ = new QPushButton(localized("Use a different email"));
  differentEmail_->setObjectName("differentEmailButton");
  differentEmail_->setFont(screenFont(13, QFont::Medium));
  differentEmail_->setFlat(true);
  differentEmail_->setAutoDefault(false);
  differentEmail_->setCursor(Qt::PointingHandCursor);
  codeColumn->addWidget(differentEmail_, 0, Qt::AlignLeft);
  codeStep_ = codeStep;
  codeStep->hide();
  card->addWidget(codeStep);

  error_ = new QLabel;
  error_->setObjectName("errorLine");
  error_->setFont(screenFont(13, QFont::Medium));
  error_->setContentsMargins(4, 0, 4, 0);
  error_->setWordWrap(true);
  error_->setTextFormat(Qt::PlainText);
  card->addWidget(error_);

  setTabOrder(emailField_, send_);
  setTabOrder(send_, codeField_);
  setTabOrder(codeField_, verify_);
  setTabOrder(verify_, differentEmail_);

  connect(emailField_, &QLineEdit::textEdited, &login_, &LoginViewModel::setEmail);
  connect(codeField_, &QLineEdit::textEdited, &login_, &LoginViewModel::setOtpCode);
  connect(emailField_, &QLineEdit::returnPressed, this, &MacLoginView::submitEmail);
  connect(codeField_, &QLineEdit::returnPressed, this, &MacLoginView::submitCode);
  connect(send_, &QPushButton::clicked, this, &MacLoginView::submitEmail);
  connect(verify_, &QPushButton::clicked, this, &MacLoginView::submitCode);
  connect(differentEmail_, &QPushButton::clicked, this, &MacLoginView::useDifferentEmail);
  for (const auto signal : {&LoginViewModel::emailChanged, &LoginViewModel::otpCodeChanged,
                            &LoginViewModel::isLoadingChanged, &LoginViewModel::errorMessageChanged}) {
    connect(&login_, signal, this, &MacLoginView::sync);
  }
  connect(&login_, &LoginViewModel::otpSentChanged, this, [this] {
    sync();
    focusStep();
  });
  restyle();
}

void MacLoginView::submitEmail() { login_.sendCode(); }

void MacLoginView::submitCode() {
  // The task runs to its end even when this screen is gone; the app state outlives it.
  login_.verify([app = app_](bool accepted) {
    if (accepted && app) app->setLoggedIn(true);
  });
}

void MacLoginView::useDifferentEmail() { login_.reset(); }

bool MacLoginView::isShowingCodeStep() const { return !codeStep_->isHidden(); }

QPushButton* MacLoginView::sendButton() const { return send_; }

QPushButton* MacLoginView::verifyButton() const { return verify_; }

void MacLoginView::sync() {
  emailStep_->setVisible(!login_.otpSent());
  codeStep_->setVisible(login_.otpSent());
  if (emailField_->text() != login_.email()) emailField_->setText(login_.email());
  if (codeField_->text() != login_.otpCode()) codeField_->setText(login_.otpCode());
  const bool loading = login_.isLoading();
  send_->setText(loading ? QStringLiteral("Sending…") : QStringLiteral("Get verification code"));
  send_->setEnabled(!loading);
  verify_->setText(loading ? QStringLiteral("Verifying…") : QStringLiteral("Verify & sign in"));
  verify_->setEnabled(!loading);
  sentTo_->setText(localized("We sent a 6-digit code to %1.").arg(login_.email()));
  const auto& message = login_.errorMessage();
  error_->setVisible(message.has_value());
  error_->setText(message.value_or(QString()));
}

void MacLoginView::focusStep() {
  if (!isVisible()) return;
  (login_.otpSent() ? codeField_ : emailField_)->setFocus(Qt::OtherFocusReason);
}

void MacLoginView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  focusStep();
}

void MacLoginView::setColorScheme(std::optional<Appearance> scheme) {
  scheme_ = scheme;
  restyle();
}

Appearance MacLoginView::colorScheme() const { return scheme_ ? *scheme_ : currentAppearance(); }

void MacLoginView::restyle() {
  const Appearance a = colorScheme();
  setPalette(screenPalette(a));
  const QString primary = cssColor(Theme::textPrimary.resolve(a));
  const QString tertiary = cssColor(Theme::textTertiary.resolve(a));
  card_->setStyleSheet(
      QStringLiteral("QWidget#loginCard, QWidget#emailStep, QWidget#codeStep"
                     " { background: transparent; }"
                     "QLabel#title { color: %1; } QLabel#subtitle, QLabel#codeSentence, QLabel#caption { color: %2; }"
                     "QLabel#errorLine { color: %3; }"
                     "QLineEdit { background: %4; border: 1px solid %5; border-radius: 12px; padding: 12px 14px;"
                     " color: %1; selection-background-color: %6; }"
                     "QLineEdit:focus { border-color: %6; }"
                     "QPushButton#differentEmailButton { background: transparent; border: none; color: %2;"
                     " padding: 0px; text-align: left; }"
                     "QPushButton#differentEmailButton:focus { text-decoration: underline; }")
          .arg(primary, tertiary, cssColor(Theme::danger.resolve(a)), cssColor(Theme::surface.resolve(a)),
               cssColor(Theme::border.resolve(a)), cssColor(Theme::accent())));
  QPalette fieldPalette = emailField_->palette();
  fieldPalette.setColor(QPalette::PlaceholderText, Theme::textTertiary.resolve(a));
  emailField_->setPalette(fieldPalette);
  codeField_->setPalette(fieldPalette);
  send_->setDisabledFill(Theme::textTertiary.resolve(a));
  verify_->setDisabledFill(Theme::textTertiary.resolve(a));
  sync();
  update();
}

void MacLoginView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Theme::background.resolve(colorScheme()));
}

void MacLoginView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (!scheme_ && (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::ThemeChange))
    restyle();
}

}  // namespace velmoria
