#include "velmoria/MacHomeView.hpp"

#include <QCoreApplication>
#include <QEasingCurve>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "velmoria/AppPickerView.hpp"
#include "velmoria/HomeControls.hpp"
#include "velmoria/HomeTexts.hpp"
#include "velmoria/LoginItemManager.hpp"
#include "velmoria/MacAppState.hpp"
#include "velmoria/MacBlocker.hpp"
#include "velmoria/MacBlocklistStore.hpp"
#include "velmoria/MacWebBlocklistStore.hpp"
#include "velmoria/ScreenPalette.hpp"
#include "velmoria/ScreenWidgets.hpp"
#include "velmoria/SessionViewModel.hpp"
#include "velmoria/SymbolIcon.hpp"
#include "velmoria/TransparentProxyManager.hpp"
#include "velmoria/WebBlocklistView.hpp"

namespace velmoria {
namespace {

QString localized(const char* text) { return QCoreApplication::translate("MacHomeView", text); }

constexpr int kColumnWidth = 560;
constexpr int kControlWidth = 420;

enum FilterControlPage { spinnerPage, readyPage, runningPage, enablePage };

QWidget* padded(QWidget* widget, int left, int top, int right, int bottom = 0, Qt::Alignment alignment = {}) {
  auto* holder = new QWidget;
  holder->setAttribute(Qt::WA_TranslucentBackground);
  auto* layout = new QHBoxLayout(holder);
  layout->setContentsMargins(left, top, right, bottom);
  layout->setSpacing(0);
  layout->addWidget(widget, 0, alignment);
  return holder;
}

QToolButton* headerButton(const char* name, const QString& tip) {
  auto* button = new QToolButton;
  button->setObjectName(name);
  button->setToolTip(tip);
  button->setAccessibleName(tip);
  button->setAutoRaise(true);
  button->setIconSize(QSize(14, 14));
  button->setCursor(Qt::PointingHandCursor);
  return button;
}

}  // namespace

MacHomeView::MacHomeView(const AppEnvironment& environment, SessionViewModel& session, QWidget* parent)
    : QWidget(parent),
      env_(environment),
      session_(session),
      animator_(environment.scheduler, [this] { updateRing(); }) {
  setObjectName("home");
  lastLocked_ = isLocked();
  gradientOpacity_ = lastLocked_ ? 1 : 0;
  gradientTimer_ = env_.scheduler.createTimer([this] { stepGradientFade(); });
  build();

  covered_ = env_.blocker.overlay().isPresented();
  connect(&env_.blocker.overlay(), &BlockingOverlayController::presentedChanged, this, &MacHomeView::setCovered);
  connect(&session_, &SessionViewModel::activeSessionChanged, this, &MacHomeView::sessionChanged);
  connect(&session_, &SessionViewModel::blockOnMacChanged, this, &MacHomeView::sessionChanged);
  connect(&env_.blocklist, &MacBlocklistStore::blockedBundleIDsChanged, this, &MacHomeView::updateTexts);
  connect(&env_.webBlocklist, &MacWebBlocklistStore::domainsChanged, this, &MacHomeView::updateTexts);
  connect(&env_.proxy, &TransparentProxyManager::stateChanged, this, &MacHomeView::updateTexts);
  connect(&env_.loginItem, &LoginItemManager::isEnabledChanged, this, &MacHomeView::updateTexts);
  restyle();
}

MacHomeView::~MacHomeView() { stopTimers(); }

bool MacHomeView::isLocked() const { return session_.activeSession().has_value() && session_.blockOnMac(); }

void MacHomeView::build() {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  scroll_ = new QScrollArea;
  scroll_->setObjectName("homeScroll");
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(true);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  scroll_->setAttribute(Qt::WA_TranslucentBackground);
  scroll_->viewport()->setAutoFillBackground(false);
  outer->addWidget(scroll_);

  auto* content = new QWidget;
  content->setObjectName("homeContent");
  content->setAutoFillBackground(false);
  auto* centring = new QHBoxLayout(content);
  centring->setContentsMargins(0, 0, 0, 0);
  column_ = new QWidget;
  column_->setObjectName("homeColumn");
  centring->addWidget(new CentredBox(column_, kColumnWidth));
  scroll_->setWidget(content);

  auto* column = new QVBoxLayout(column_);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  // Header.
  auto* header = new QHBoxLayout;
  header->setContentsMargins(20, 16, 20, 0);
  header->setSpacing(16);
  header->addStretch(1);
  refreshButton_ = headerButton("refreshButton", localized("Aktualisieren"));
  connect(refreshButton_, &QToolButton::clicked, this, &MacHomeView::refreshSession);
  header->addWidget(refreshButton_);
  signOutButton_ = headerButton("signOutButton", localized("Abmelden"));
  connect(signOutButton_, &QToolButton::clicked, this, &MacHomeView::signOut);
  header->addWidget(signOutButton_);
  column->addLayout(header);

  // Greeting.
  auto* greeting = new QVBoxLayout;
  greeting->setContentsMargins(24, 8, 24, 0);
  greeting->setSpacing(3);
  title_ = new OneLineLabel;
  title_->setObjectName("greetingTitle");
  title_->setTextFont(screenFont(24, QFont::ExtraBold, -0.84));
  title_->setMinimumScale(0.8);
  greeting->addWidget(title_);
  subtitle_ = new QLabel;
  subtitle_->setObjectName("greetingSubtitle");
  subtitle_->setFont(screenFont(14, QFont::Normal, -0.07));
  subtitle_->setWordWrap(true);
  subtitle_->setTextFormat(Qt::PlainText);
  greeting->addWidget(subtitle_);
  column->addLayout(greeting);

  // Status.
  column->addSpacing(28);
  pill_ = new StatusPill;
  pill_->setObjectName("statusPill");
  column->addWidget(pill_, 0, Qt::AlignHCenter);
  column->addSpacing(6);
  summary_ = new QLabel;
  summary_->setObjectName("blockedAppsSummary");
  summary_->setFont(screenFont(12, QFont::Normal, -0.06));
  summary_->setAlignment(Qt::AlignHCenter);
  summary_->setWordWrap(true);
  column->addWidget(padded(summary_, 24, 0, 24));

  column->addSpacerItem(new QSpacerItem(0, 24, QSizePolicy::Minimum, QSizePolicy::Expanding));

  // Session block: the ring's frame is reserved in the column; the ring itself, whose glow spills past
  // that frame, lies over it.
  column->addSpacing(8);
  ringSlot_ = new QWidget;
  ringSlot_->setObjectName("ringSlot");
  ringSlot_->setFixedSize(252, 252);
  ringSlot_->installEventFilter(this);
  column->addWidget(ringSlot_, 0, Qt::AlignHCenter);
  ring_ = new MacRingView(column_);
  ring_->setObjectName("ring");
  explanation_ = new QLabel;
  explanation_->setObjectName("explanation");
  explanation_->setFont(screenFont(13));
  explanation_->setAlignment(Qt::AlignHCenter);
  explanation_->setWordWrap(true);
  explanation_->setTextFormat(Qt::PlainText);
  column->addWidget(padded(explanation_, 32, 16, 32));

  appsRow_ = new SelectionRow(Symbol::laptopComputer, localized("Apps to block on Mac"));
  appsRow_->setObjectName("appsRow");
  connect(appsRow_, &SelectionRow::clicked, this, &MacHomeView::openAppPicker);
  column->addWidget(new CentredBox(appsRow_, kControlWidth, QMargins(24, 20, 24, 0)));
  sitesRow_ = new SelectionRow(Symbol::globe, localized("Sites to block on Mac"));
  sitesRow_->setObjectName("sitesRow");
  connect(sitesRow_, &SelectionRow::clicked, this, &MacHomeView::openSitesPicker);
  column->addWidget(new CentredBox(sitesRow_, kControlWidth, QMargins(24, 10, 24, 0)));

  loginCard_ = new SettingsCard(Symbol::power, localized("Start at login"));
  loginCard_->setObjectName("loginCard");
  loginCard_->setSubtitle(localized("Keeps following your sessions after a restart"));
  loginSwitch_ = new ToggleSwitch;
  loginSwitch_->setObjectName("loginSwitch");
  loginSwitch_->setAccessibleName(localized("Start at login"));
  connect(loginSwitch_, &ToggleSwitch::clicked, this, &MacHomeView::switchStartAtLogin);
  loginCard_->setTrailing(loginSwitch_);
  column->addWidget(new CentredBox(loginCard_, kControlWidth, QMargins(24, 10, 24, 0)));

  filterCard_ = new SettingsCard(Symbol::globe, localized("Website filter"));
  filterCard_->setObjectName("filterCard");
  filterControl_ = new QStackedWidget;
  filterControl_->setObjectName("filterControl");
  filterControl_->setAttribute(Qt::WA_TranslucentBackground);
  auto* spinner = new ActivityIndicator(16);
  spinner->setObjectName("filterSpinner");
  filterControl_->addWidget(padded(spinner, 0, 0, 0, 0, Qt::AlignRight | Qt::AlignVCenter));
  filterReady_ = new QLabel;
  filterReady_->setObjectName("filterReady");
  filterControl_->addWidget(padded(filterReady_, 0, 0, 0, 0, Qt::AlignRight | Qt::AlignVCenter));
  auto* running = new QWidget;
  running->setObjectName("filterRunning");
  auto* runningRow = new QHBoxLayout(running);
  runningRow->setContentsMargins(0, 0, 0, 0);
  runningRow->setSpacing(5);
  runningRow->addStretch(1);
  filterRunningDot_ = new QLabel;
  runningRow->addWidget(filterRunningDot_);
  filterRunningText_ = new QLabel(localized("On"));
  filterRunningText_->setObjectName("filterOn");
  filterRunningText_->setFont(screenFont(12, QFont::DemiBold));
  runningRow->addWidget(filterRunningText_);
  filterControl_->addWidget(running);
  auto* enable = new QPushButton(localized("Enable"));
  enable->setObjectName("enableFilterButton");
  enable->setFont(screenFont(13, QFont::DemiBold));
  enable->setCursor(Qt::PointingHandCursor);
  enable->setAutoDefault(false);
  connect(enable, &QPushButton::clicked, this, &MacHomeView::enableWebFilter);
  filterControl_->addWidget(padded(enable, 0, 0, 0, 0, Qt::AlignRight | Qt::AlignVCenter));
  filterControl_->setFixedWidth(std::max(enable->sizeHint().width(), 60));
  filterCard_->setTrailing(filterControl_);
  column->addWidget(new CentredBox(filterCard_, kControlWidth, QMargins(24, 10, 24, 0)));
  column->addSpacing(8);

  column->addSpacerItem(new QSpacerItem(0, 24, QSizePolicy::Minimum, QSizePolicy::Expanding));

  setTabOrder(refreshButton_, signOutButton_);
  setTabOrder(signOutButton_, appsRow_);
  setTabOrder(appsRow_, sitesRow_);
  setTabOrder(sitesRow_, loginSwitch_);
  setTabOrder(loginSwitch_, enable);
}

void MacHomeView::setColorScheme(std::optional<Appearance> scheme) {
  scheme_ = scheme;
  restyle();
}

Appearance MacHomeView::colorScheme() const { return scheme_ ? *scheme_ : currentAppearance(); }

void MacHomeView::restyle() {
  const Appearance a = colorScheme();
  setPalette(screenPalette(a));
  const QString tertiary = cssColor(Theme::textTertiary.resolve(a));
  column_->setStyleSheet(
      QStringLiteral("QWidget#homeColumn { background: transparent; }"
                     "QLabel#greetingSubtitle { color: %1; } QLabel#blockedAppsSummary { color: %2; }"
                     "QLabel#explanation { color: %2; } QLabel#cardTitle { color: %3; }"
                     "QLabel#filterOn { color: %4; }"
                     "QToolButton { background: transparent; border: none; padding: 2px; }"
                     "QPushButton#enableFilterButton { background: %5; color: white; border: none;"
                     " border-radius: 6px; padding: 3px 10px; }"
                     "QPushButton#enableFilterButton:pressed { background: %6; }")
          .arg(cssColor(isLocked() ? (a == Appearance::dark ? Theme::blue400() : Theme::blue600())
                                   : Theme::textTertiary.resolve(a)),
               tertiary, cssColor(Theme::textPrimary.resolve(a)), cssColor(Theme::textSecondary.resolve(a)),
               cssColor(Theme::accent()), cssColor(Theme::accent().darker(115))));
  scroll_->setStyleSheet(QStringLiteral("QScrollArea#homeScroll, QWidget#homeContent { background: transparent; }"));
  refreshButton_->setIcon(symbolIcon(Symbol::arrowClockwise, Theme::textTertiary.resolve(a), 14));
  signOutButton_->setIcon(symbolIcon(Symbol::rectanglePortraitAndArrowRight, Theme::textTertiary.resolve(a), 14));
  title_->setColour(Theme::textPrimary.resolve(a));
  pill_->setAppearance(a);
  ring_->setColorScheme(a);
  appsRow_->setAppearance(a);
  sitesRow_->setAppearance(a);
  loginCard_->setAppearance(a);
  filterCard_->setAppearance(a);
  loginSwitch_->setColours(Theme::accent(), Theme::border.resolve(a));
  filterControl_->findChild<ActivityIndicator*>("filterSpinner")->setColour(Theme::textTertiary.resolve(a));
  filterReady_->setPixmap(symbolIcon(Symbol::checkmarkCircleFill, Theme::success.resolve(a), 16).pixmap(16, 16));
  QPixmap dot(6, 6);
  dot.fill(Qt::transparent);
  {
    QPainter p(&dot);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Theme::success.resolve(a));
    p.drawEllipse(QRectF(0, 0, 6, 6));
  }
  filterRunningDot_->setPixmap(dot);
  if (auto* picker = picker_.data()) picker->setColorScheme(scheme_);
  if (auto* sites = sitesPicker_.data()) sites->setColorScheme(scheme_);
  updateTexts();
  update();
}

void MacHomeView::updateTexts() {
  const bool locked = isLocked();
  title_->setText(titleText());
  subtitle_->setText(subtitleText());
  pill_->setLocked(locked);
  summary_->setText(HomeTexts::blockedAppsSummary(env_.blocklist.blockedBundleIDs().size()));
  explanation_->setText(locked ? localized("This Mac is blocking your selected apps for the duration of the session.")
                               : localized("Start a focus session on your iPhone — this Mac follows along and blocks "
                                           "the apps you choose below."));
  appsRow_->setLocked(locked);
  appsRow_->setSubtitle(HomeTexts::appsRowSubtitle(locked, env_.blocklist.blockedBundleIDs().size()));
  sitesRow_->setLocked(locked);
  sitesRow_->setSubtitle(HomeTexts::sitesRowSubtitle(locked, env_.webBlocklist.domains().size()));
  loginSwitch_->setOn(env_.loginItem.isEnabled());
  const auto& state = env_.proxy.state();
  filterCard_->setSubtitle(HomeTexts::webFilterSubtitle(state));
  using Kind = TransparentProxyManager::State::Kind;
  switch (state.kind) {
    case Kind::installing:
      filterControl_->setCurrentIndex(spinnerPage);
      break;
    case Kind::ready:
      filterControl_->setCurrentIndex(readyPage);
      break;
    case Kind::running:
      filterControl_->setCurrentIndex(runningPage);
      break;
    case Kind::idle:
    case Kind::needsApproval:
    case Kind::failed:
      filterControl_->setCurrentIndex(enablePage);
      break;
  }
  updateRing();
}

QString MacHomeView::titleText() const {
  return isLocked() ? HomeTexts::formatElapsed(elapsedSeconds_) : localized("Hey there 👋");
}

QString MacHomeView::subtitleText() const {
  return isLocked() ? localized("Focus is active — stay locked in.") : randomQuote_;
}

const RingState& MacHomeView::ringState() const { return ring_->state(); }

void MacHomeView::updateRing() {
  RingState state;
  state.isLocked = isLocked();
  state.arcProgress = animator_.arcProgress();
  state.glowPulse = animator_.glowPulse();
  ring_->setState(state);
}

void MacHomeView::appear() {
  if (onScreen_) return;
  onScreen_ = true;
  const QStringList& quotes = HomeTexts::quotes();
  randomQuote_ = quotes.isEmpty() ? HomeTexts::fallbackQuote()
                                  : quotes.at(static_cast<int>(QRandomGenerator::global()->bounded(quotes.size())));
  env_.loginItem.refresh();
  const bool locked = isLocked();
  lastLocked_ = locked;
  // The glow is drawn only while locked, so it pulses only then.
  if (locked && !covered_) animator_.startPulse();
  animator_.setArcProgress(locked ? 1.0 : 0.0, /*animated=*/false);
  gradientTimer_->stop();
  gradientOpacity_ = locked ? 1 : 0;
  if (locked) restartTicking(true);
  env_.proxy.setSessionActive(locked);
  refreshTimer_ = env_.scheduler.createTimer([this] { session_.refresh(); });
  refreshTimer_->start(std::chrono::duration_cast<std::chrono::milliseconds>(refreshInterval), /*repeats=*/true);
  session_.refresh();
  restyle();
}

void MacHomeView::disappear() {
  if (!onScreen_) return;
  onScreen_ = false;
  stopTimers();
  animator_.stop();
  gradientTimer_->stop();
}

void MacHomeView::stopTimers() {
  if (tickTimer_) tickTimer_->stop();
  tickTimer_.reset();
  if (refreshTimer_) refreshTimer_->stop();
  refreshTimer_.reset();
}

void MacHomeView::sessionChanged() {
  if (!onScreen_) return;
  const bool locked = isLocked();
  if (locked != lastLocked_) {
    lastLocked_ = locked;
    lockChanged(locked);
  }
  updateTexts();
}

void MacHomeView::lockChanged(bool locked) {
  if (locked) {
    animator_.setArcProgress(1.0, /*animated=*/!covered_);
    if (!covered_) animator_.startPulse();
  } else {
    animator_.stop();
    animator_.setArcProgress(0.0, /*animated=*/false);
  }
  restartTicking(locked);
  if (locked) {
    closePicker();
    closeSitesPicker();
    env_.blocker.activate();
  } else {
    env_.blocker.deactivate();
  }
  env_.proxy.setSessionActive(locked);

  fadeGradientTo(locked ? 1.0 : 0.0);
  restyle();
}

void MacHomeView::fadeGradientTo(double opacity) {
  gradientTimer_->stop();
  if (covered_) {
    gradientOpacity_ = opacity;
    updateGradient();
    return;
  }
  gradientFade_ = {env_.scheduler.now(), gradientOpacity_, opacity};
  gradientTimer_->start(gradientFadeFrame, /*repeats=*/true);
}

void MacHomeView::stepGradientFade() {
  const double t = std::clamp(std::chrono::duration<double>(env_.scheduler.now() - gradientFade_.start).count() /
                                  std::chrono::duration<double>(gradientFadeDuration).count(),
                              0.0, 1.0);
  gradientOpacity_ = gradientFade_.from + (gradientFade_.to - gradientFade_.from) *
                                              QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(t);
  if (t >= 1) gradientTimer_->stop();
  updateGradient();
}

void MacHomeView::updateGradient() {
  QRegion rows(QRect(0, 0, width(), height() / 2 + 1));
  // The scroll bar covers every pixel of its own, and the style draws it through Qt's thread pool: the
  // gradient under it never shows.
  if (const QScrollBar* bar = scroll_->verticalScrollBar(); bar->isVisible())
    rows -= QRect(bar->mapTo(this, QPoint(0, 0)), bar->size());
  update(rows);
}

void MacHomeView::setCovered(bool covered) {
  if (covered == covered_) return;
  covered_ = covered;
  if (!onScreen_) return;
  // A full-screen shield hides the whole window: frames drawn under it cost a full repaint each and show
  // nothing. Transitions jump to their end; the endless pulse stops until the shield goes.
  if (covered) {
    animator_.settle();
    if (gradientTimer_->isActive()) fadeGradientTo(gradientFade_.to);
  } else if (isLocked()) {
    animator_.startPulse();
  }
}

void MacHomeView::restartTicking(bool on) {
  if (tickTimer_) tickTimer_->stop();
  tickTimer_.reset();
  const auto& active = session_.activeSession();
  if (on && active) {
    // Whole seconds, cut toward zero; a start in the future counts from 0.
    const auto since =
        std::chrono::duration_cast<std::chrono::seconds>(env_.scheduler.now() - active->startedAt).count();
    elapsedSeconds_ = since < 1 ? 0 : since;
    tickTimer_ = env_.scheduler.createTimer([this] {
      ++elapsedSeconds_;
      title_->setText(titleText());
    });
    tickTimer_->start(std::chrono::seconds(1), /*repeats=*/true);
  } else {
    elapsedSeconds_ = 0;
  }
  title_->setText(titleText());
}

void MacHomeView::refreshSession() { session_.refresh(); }

void MacHomeView::signOut() {
  // The timers go first: a refresh started after the reset would follow the session again.
  stopTimers();
  env_.blocker.deactivate();
  session_.reset();
  env_.app.signOut();
}

void MacHomeView::openAppPicker() {
  if (isLocked() || showingPicker_) return;
  auto* picker = new AppPickerView(env_.blocklist, env_.appScanner, this);
  picker->setObjectName("appPicker");
  picker->setColorScheme(scheme_);
  picker_ = picker;
  showingPicker_ = true;
  connect(picker, &QDialog::finished, this, [this, picker] {
    picker->deleteLater();
    pickerClosed();
  });
  picker->open();
}

void MacHomeView::openSitesPicker() {
  if (isLocked() || showingSitesPicker_) return;
  auto* sites = new WebBlocklistView(env_.webBlocklist, this);
  sites->setObjectName("sitesPicker");
  sites->setColorScheme(scheme_);
  sitesPicker_ = sites;
  showingSitesPicker_ = true;
  connect(sites, &QDialog::finished, this, [this, sites] {
    sites->deleteLater();
    showingSitesPicker_ = false;
    sitesPicker_ = nullptr;
  });
  sites->open();
}

void MacHomeView::closePicker() {
  if (!showingPicker_) return;
  if (picker_) {
    picker_->reject();  // reports finished, which clears the flag
  } else {
    pickerClosed();
  }
}

void MacHomeView::closeSitesPicker() {
  if (!showingSitesPicker_) return;
  if (sitesPicker_) {
    sitesPicker_->reject();
  } else {
    showingSitesPicker_ = false;
  }
}

void MacHomeView::pickerClosed() {
  if (!showingPicker_) return;
  showingPicker_ = false;
  picker_ = nullptr;
  // Queued: when a lock closes the sheet, blocking is switched on right after, and the sweep must
  // come after that to have any effect.
  QMetaObject::invokeMethod(
      &env_.blocker, [blocker = &env_.blocker] { blocker->sweepRunningApps(); }, Qt::QueuedConnection);
}

void MacHomeView::enableWebFilter() {
  env_.proxy.setState(TransparentProxyManager::State::installing());
  env_.proxy.activateExtension();
}

void MacHomeView::switchStartAtLogin() {
  // The switch shows what the registration reports, never what was clicked.
  env_.loginItem.setEnabled(!env_.loginItem.isEnabled());
  loginSwitch_->setOn(env_.loginItem.isEnabled());
}

void MacHomeView::placeRing() {
  const QRect slot = ringSlot_->geometry();
  const int spill = static_cast<int>(MacRingView::overflow);
  ring_->setGeometry(slot.adjusted(-spill, -spill, spill, spill));
  ring_->raise();
}

bool MacHomeView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ringSlot_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) placeRing();
  return QWidget::eventFilter(watched, event);
}

void MacHomeView::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  const Appearance a = colorScheme();
  const QColor background = Theme::background.resolve(a);
  const QRect area = event->rect();
  p.fillRect(area, background);
  if (gradientOpacity_ <= 0) return;
  // From the top edge to the middle, the locked colour fading into the background. Each row is one colour
  // and filled on its own: the ring's glow repaints part of this several times a second, and a gradient
  // fill of many rows would go to Qt's thread pool.
  const QColor top = a == Appearance::dark ? Theme::blue800() : Theme::blue100();
  const double half = std::max(1.0, height() / 2.0);
  const int last = std::min(area.bottom(), height() / 2);
  for (int y = area.top(); y <= last; ++y) {
    const double t = std::clamp((y + 0.5) / half, 0.0, 1.0);
    QColor colour = top;
    colour.setAlphaF(static_cast<float>((1 - t) * gradientOpacity_));
    p.fillRect(QRect(area.left(), y, area.width(), 1), colour);
  }
}

void MacHomeView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (!scheme_ && (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::ThemeChange))
    restyle();
}

}  // namespace velmoria
