#include "velmoria/HomeTexts.hpp"

#include <QCoreApplication>

namespace velmoria::HomeTexts {
namespace {

QString localized(const char* text) { return QCoreApplication::translate("MacHomeView", text); }

const QString& lockedRowSubtitle() {
  static const QString text = localized("Locked while your session is active");
  return text;
}

QString counted(std::size_t count, const char* one, const char* many) {
  return QString::number(static_cast<qulonglong>(count)) + ' ' + (count == 1 ? localized(one) : localized(many));
}

}  // namespace

const QStringList& quotes() {
  static const QStringList list{
      localized("Put the phone down."),
      localized("No excuses."),
      localized("Deep work builds the future."),
      localized("Protect your attention."),
      localized("One session at a time."),
      localized("Time to focus."),
      localized("Stay productive."),
      localized("Deep work starts now."),
      localized("Your future self will thank you."),
      localized("Less scrolling, more doing."),
      localized("Make today count."),
      localized("Focus is your superpower."),
      localized("Be where your hands are."),
  };
  return list;
}

const QString& fallbackQuote() {
  static const QString text = localized("Time to focus.");
  return text;
}

QString formatElapsed(std::int64_t seconds) {
  const auto minutes = (seconds % 3600) / 60;
  const auto rest = seconds % 60;
  if (seconds < 3600)
    return QString::asprintf("%02lld:%02lld", static_cast<long long>(minutes), static_cast<long long>(rest));
  return QString::asprintf("%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                           static_cast<long long>(minutes), static_cast<long long>(rest));
}

QString blockedAppsSummary(std::size_t count) {
  if (count == 0) return localized("No apps blocked");
  return localized("Blocking") + ' ' + counted(count, "app", "apps");
}

QString appsRowSubtitle(bool isLocked, std::size_t count) {
  if (isLocked) return lockedRowSubtitle();
  if (count == 0) return localized("Tap to choose apps to block");
  return counted(count, "app", "apps") + ' ' + localized("selected");
}

QString sitesRowSubtitle(bool isLocked, std::size_t count) {
  if (isLocked) return lockedRowSubtitle();
  if (count == 0) return localized("Tap to choose websites to block");
  return counted(count, "site", "sites") + ' ' + localized("selected");
}

QString webFilterSubtitle(const TransparentProxyManager::State& state) {
  using Kind = TransparentProxyManager::State::Kind;
  switch (state.kind) {
    case Kind::idle:
      return localized("Block distracting sites during focus sessions");
    case Kind::installing:
      return localized("Setting up the on-device filter…");
    case Kind::needsApproval:
      return localized("Approve the filter: sudo scripts/install-filter");
    case Kind::ready:
      return localized("On during your focus sessions");
    case Kind::running:
      return localized("Blocking sites now");
    case Kind::failed:
      return QString::fromStdString(state.failure);
  }
  return {};
}

}  // namespace velmoria::HomeTexts
