#include "velmoria/InstalledApps.hpp"

#include <QCollator>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <optional>

#include "platform/DesktopEntry.hpp"
#include "platform/DesktopFileId.hpp"
#include "velmoria/SymbolIcon.hpp"
#include "velmoria/Theme.hpp"

namespace velmoria {
namespace {

void removeAll(std::string& text, std::string_view what) {
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at)) text.erase(at, what.size());
}

}  // namespace

std::vector<std::filesystem::path> applicationFolders() { return platform::applicationFolders(); }

std::vector<AppMeta> scanInstalledApps(const std::vector<std::filesystem::path>& folders, std::string_view locale) {
  std::vector<AppMeta> result;
  for (auto& entry : platform::scanDesktopEntries(folders).entries) {
    if (entry.noDisplay) continue;
    std::string name = entry.localizedName(locale).value_or(entry.file.stem().string());
    removeAll(name, ".app");
    result.push_back(AppMeta{entry.id, std::move(name), entry.file.string(), std::move(entry.icon)});
  }
  QCollator collator;  // one per call: collators are not shared between threads
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::vector<QString> keys;
  keys.reserve(result.size());
  std::vector<std::size_t> order(result.size());
  for (std::size_t i = 0; i < result.size(); ++i) {
    keys.push_back(QString::fromStdString(result[i].name));
    order[i] = i;
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return collator.compare(keys[a], keys[b]) < 0; });
  std::vector<AppMeta> sorted;
  sorted.reserve(result.size());
  for (const auto i : order) sorted.push_back(std::move(result[i]));
  return sorted;
}

std::vector<AppMeta> scanInstalledApps() { return scanInstalledApps(applicationFolders(), platform::messagesLocale()); }

QIcon iconForEntry(const std::string& iconName, const QIcon& fallback) {
  const QString name = QString::fromStdString(iconName);
  QIcon icon;
  if (!name.isEmpty()) {
    if (name.startsWith('/')) {
      if (QFileInfo::exists(name)) icon = QIcon(name);
    } else if (QIcon::hasThemeIcon(name)) {
      icon = QIcon::fromTheme(name);
    }
  }
  return icon.isNull() ? fallback : icon;
}

std::vector<InstalledApp> makeInstalledApps(const std::vector<AppMeta>& metas) {
  const QIcon generic = symbolIcon(Symbol::genericApp, Theme::textTertiary.resolve(), 28);
  std::vector<InstalledApp> apps;
  apps.reserve(metas.size());
  for (const auto& meta : metas) {
    apps.push_back(InstalledApp{QString::fromStdString(meta.bundleID), QString::fromStdString(meta.name),
                                QUrl::fromLocalFile(QString::fromStdString(meta.path)),
                                iconForEntry(meta.iconName, generic)});
  }
  return apps;
}

}  // namespace velmoria

std::size_t std::hash<velmoria::AppMeta>::operator()(const velmoria::AppMeta& m) const noexcept {
  std::size_t h = std::hash<std::string>{}(m.bundleID);
  for (const auto* part : {&m.name, &m.path, &m.iconName}) h = h * 31 + std::hash<std::string>{}(*part);
  return h;
}

std::size_t std::hash<velmoria::InstalledApp>::operator()(const velmoria::InstalledApp& a) const noexcept {
  return qHash(a.id);
}
