#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

#include "velmoria/AppEnvironment.hpp"
#include "velmoria/Theme.hpp"
#include "zirudeze/ZirudezeClient.hpp"

class QStackedWidget;

namespace velmoria {

class ActivityIndicator;
class LoginViewModel;
class MacHomeView;
class MacLoginView;
class SessionViewModel;

// The window's content: a progress view while the app looks for a stored session, then the sign-in
// screen or the home screen as the signed-in state says. It owns the two view models for its life and
// starts the session check the first time it is shown.
class ContentView : public QWidget {
  Q_OBJECT

 public:
  enum class Page { progress, signIn, home };

  static constexpr int minimumWindowWidth = 480;
  static constexpr int minimumWindowHeight = 640;

  ContentView(const AppEnvironment& environment, std::shared_ptr<zirudeze::ZirudezeClient> client,
              QWidget* parent = nullptr);
  ~ContentView() override;

  Page page() const { return page_; }
  LoginViewModel& login() { return *login_; }
  SessionViewModel& session() { return *session_; }
  MacLoginView* loginView() const { return loginView_; }
  // Null unless the home screen is the page.
  MacHomeView* homeView() const { return home_; }

  void setColorScheme(std::optional<Appearance> scheme);

 Q_SIGNALS:
  void pageChanged(velmoria::ContentView::Page page);

 protected:
  void showEvent(QShowEvent* event) override;
  // Without a window manager nothing holds the window to its minimum size: it goes back there itself.
  void resizeEvent(QResizeEvent* event) override;

 private:
  void showPage();

  AppEnvironment env_;
  std::unique_ptr<LoginViewModel> login_;
  std::unique_ptr<SessionViewModel> session_;
  std::optional<Appearance> scheme_;
  bool bootstrapStarted_ = false;
  Page page_ = Page::progress;
  QStackedWidget* stack_ = nullptr;
  QWidget* progress_ = nullptr;
  ActivityIndicator* spinner_ = nullptr;
  MacLoginView* loginView_ = nullptr;
  MacHomeView* home_ = nullptr;  // the page while it is the home screen
};

}  // namespace velmoria
