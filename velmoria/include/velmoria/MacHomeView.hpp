#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/MainScheduler.hpp"
#include "velmoria/AppEnvironment.hpp"
#include "velmoria/AppPickerView.hpp"
#include "velmoria/MacRingView.hpp"
#include "velmoria/RingAnimator.hpp"
#include "velmoria/Theme.hpp"
#include "velmoria/WebBlocklistView.hpp"

class QLabel;
class QScrollArea;
class QStackedWidget;
class QToolButton;

namespace velmoria {

class OneLineLabel;
class SelectionRow;
class SessionViewModel;
class SettingsCard;
class StatusPill;
class ToggleSwitch;

// The signed-in screen. It follows the session (a refresh when it comes on screen and every 15 seconds
// while it is there), switches blocking and the web filter on and off with the lock, and holds the
// controls for what to block, start at login and the filter. The window calls appear() when it makes
// this its page and disappear() when it takes it away.
class MacHomeView : public QWidget {
  Q_OBJECT

 public:
  static constexpr std::chrono::seconds refreshInterval{15};
  // The locked look's gradient fades in and out over half a second. Each frame redraws every widget over
  // the top half of the screen: 30 frames a second look as smooth in a change this slow, at half the cost.
  static constexpr std::chrono::milliseconds gradientFadeFrame{33};
  static constexpr std::chrono::milliseconds gradientFadeDuration{500};

  MacHomeView(const AppEnvironment& environment, SessionViewModel& session, QWidget* parent = nullptr);
  ~MacHomeView() override;

  // A followed session whose mode blocks this computer.
  bool isLocked() const;

  void appear();
  void disappear();
  bool isOnScreen() const { return onScreen_; }
  // Whether a shield stands over the screen; its animations wait meanwhile.
  bool isCovered() const { return covered_; }

  // The header buttons, the rows and the cards.
  void refreshSession();
  void signOut();
  void openAppPicker();
  void openSitesPicker();
  void enableWebFilter();
  void switchStartAtLogin();

  std::int64_t elapsedSeconds() const { return elapsedSeconds_; }
  const QString& randomQuote() const { return randomQuote_; }
  bool showingPicker() const { return showingPicker_; }
  bool showingSitesPicker() const { return showingSitesPicker_; }
  AppPickerView* appPicker() const { return picker_; }
  WebBlocklistView* sitesPicker() const { return sitesPicker_; }
  QString titleText() const;
  QString subtitleText() const;
  const RingState& ringState() const;
  // 0 to 1: how far the locked look's gradient has faded in.
  double gradientOpacity() const { return gradientOpacity_; }

  // The scheme to draw in; by default the application's current appearance.
  void setColorScheme(std::optional<Appearance> scheme);
  Appearance colorScheme() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  void restyle();
  void updateTexts();
  void sessionChanged();
  void lockChanged(bool locked);
  void setCovered(bool covered);
  void fadeGradientTo(double opacity);
  void stepGradientFade();
  // Redraws the rows the gradient covers.
  void updateGradient();
  void restartTicking(bool on);
  void stopTimers();
  void closePicker();
  void closeSitesPicker();
  void pickerClosed();
  void placeRing();
  void updateRing();

  AppEnvironment env_;
  SessionViewModel& session_;
  std::optional<Appearance> scheme_;
  bool onScreen_ = false;
  bool covered_ = false;
  bool lastLocked_ = false;
  std::int64_t elapsedSeconds_ = 0;
  std::unique_ptr<platform::MainTimer> tickTimer_;
  std::unique_ptr<platform::MainTimer> refreshTimer_;
  RingAnimator animator_;
  QString randomQuote_;
  bool showingPicker_ = false;
  bool showingSitesPicker_ = false;
  QPointer<AppPickerView> picker_;
  QPointer<WebBlocklistView> sitesPicker_;
  double gradientOpacity_ = 0;
  struct GradientFade {
    std::chrono::system_clock::time_point start;
    double from = 0;
    double to = 0;
  };
  GradientFade gradientFade_;
  std::unique_ptr<platform::MainTimer> gradientTimer_;

  QScrollArea* scroll_ = nullptr;
  QWidget* column_ = nullptr;
  QToolButton* refreshButton_ = nullptr;
  QToolButton* signOutButton_ = nullptr;
  OneLineLabel* title_ = nullptr;
  QLabel* subtitle_ = nullptr;
  StatusPill* pill_ = nullptr;
  QLabel* summary_ = nullptr;
  QWidget* ringSlot_ = nullptr;
  MacRingView* ring_ = nullptr;
  QLabel* explanation_ = nullptr;
  SelectionRow* appsRow_ = nullptr;
  SelectionRow* sitesRow_ = nullptr;
  SettingsCard* loginCard_ = nullptr;
  ToggleSwitch* loginSwitch_ = nullptr;
  SettingsCard* filterCard_ = nullptr;
  QStackedWidget* filterControl_ = nullptr;
  QLabel* filterReady_ = nullptr;
  QLabel* filterRunningDot_ = nullptr;
  QLabel* filterRunningText_ = nullptr;
};

}  // namespace velmoria
