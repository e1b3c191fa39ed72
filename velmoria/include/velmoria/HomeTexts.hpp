#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>

#include "velmoria/TransparentProxyManager.hpp"

// The texts of the home screen that are computed from its objects.
namespace velmoria::HomeTexts {

// The lines shown under the greeting while nothing is locked; one is chosen each time the screen shows.
const QStringList& quotes();
// "Time to focus.", for an empty quote list.
const QString& fallbackQuote();

// "mm:ss" below an hour, then "h:mm:ss".
QString formatElapsed(std::int64_t seconds);
// "No apps blocked", "Blocking 1 app", "Blocking 2 apps".
QString blockedAppsSummary(std::size_t count);
QString appsRowSubtitle(bool isLocked, std::size_t count);
QString sitesRowSubtitle(bool isLocked, std::size_t count);
QString webFilterSubtitle(const TransparentProxyManager::State& state);

}  // namespace velmoria::HomeTexts
