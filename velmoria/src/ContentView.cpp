#include "velmoria/ContentView.hpp"

#include <QPainter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "velmoria/LoginViewModel.hpp"
#include "velmoria/MacAppState.hpp"
#include "velmoria/MacHomeView.hpp"
#include "velmoria/MacLoginView.hpp"
#include "velmoria/ScreenWidgets.hpp"
#include "velmoria/SessionViewModel.hpp"

namespace velmoria {
namespace {

// The window background with a spinner in its middle.
class ProgressPage : public QWidget {
 public:
  explicit ProgressPage(ActivityIndicator*& spinner) {
    setObjectName("progress");
    auto* layout = new QVBoxLayout(this);
    spinner = new ActivityIndicator(28);
    spinner->setObjectName("progressIndicator");
    layout->addWidget(spinner, 0, Qt::AlignCenter);
  }
  std::optional<Appearance> scheme;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), themeWindowBackground.resolve(scheme ? *scheme : currentAppearance()));
  }
};

}  // namespace

ContentView::ContentView(const AppEnvironment& environment, std::shared_ptr<zirudeze::ZirudezeClient> client,
                         QWidget* parent)
    : QWidget(parent),
      env_(environment),
      login_(std::make_unique<LoginViewModel>(client)),
      session_(std::make_unique<SessionViewModel>(client)) {
  setObjectName("contentView");
  setWindowTitle(QStringLiteral("velmoria"));
  setMinimumSize(minimumWindowWidth, minimumWindowHeight);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  stack_ = new QStackedWidget;
  layout->addWidget(stack_);
  progress_ = new ProgressPage(spinner_);
  stack_->addWidget(progress_);
  loginView_ = new MacLoginView(env_.app, *login_);
  stack_->addWidget(loginView_);
  stack_->setCurrentWidget(progress_);
  connect(&env_.app, &MacAppState::isBootstrappingChanged, this, &ContentView::showPage);
  connect(&env_.app, &MacAppState::isLoggedInChanged, this, &ContentView::showPage);
}

ContentView::~ContentView() {
  if (home_) home_->disappear();
  // The pages hold the view models, which go before the widget's children would.
  delete stack_;
}

void ContentView::setColorScheme(std::optional<Appearance> scheme) {
  scheme_ = scheme;
  static_cast<ProgressPage*>(progress_)->scheme = scheme;
  spinner_->setColour(Theme::textTertiary.resolve(scheme ? *scheme : currentAppearance()));
  loginView_->setColorScheme(scheme);
  if (home_) home_->setColorScheme(scheme);
  update();
}

void ContentView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (bootstrapStarted_) return;
  bootstrapStarted_ = true;
  env_.app.bootstrap();
}

void ContentView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!isWindow() || (width() >= minimumWindowWidth && height() >= minimumWindowHeight)) return;
  QMetaObject::invokeMethod(
      this, [this] { resize(size().expandedTo(QSize(minimumWindowWidth, minimumWindowHeight))); },
      Qt::QueuedConnection);
}

void ContentView::showPage() {
  const Page wanted = env_.app.isBootstrapping() ? Page::progress : env_.app.isLoggedIn() ? Page::home : Page::signIn;
  if (wanted == page_) return;
  if (home_) {
    // The home screen goes with the page; the next sign-in builds a new one.
    MacHomeView* leaving = home_;
    leaving->disappear();
    stack_->removeWidget(leaving);
    leaving->hide();
    leaving->deleteLater();
    home_ = nullptr;
  }
  page_ = wanted;
  switch (wanted) {
    case Page::progress:
      stack_->setCurrentWidget(progress_);
      break;
    case Page::signIn:
      stack_->setCurrentWidget(loginView_);
      break;
    case Page::home: {
      auto* home = new MacHomeView(env_, *session_);
      if (scheme_) home->setColorScheme(scheme_);
      home_ = home;
      stack_->addWidget(home);
      stack_->setCurrentWidget(home);
      home->appear();
      break;
    }
  }
  Q_EMIT pageChanged(wanted);
}

}  // namespace velmoria
