#pragma once

#include <QIcon>
#include <QString>
#include <QUrl>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmoria {

// One installed app as the scanner found it: a desktop entry of an applications folder.
struct AppMeta {
  std::string bundleID;  // the desktop-file ID
  std::string name;
  std::string path;
  std::string iconName;  // the entry's Icon value, read with the rest so the main thread re-reads nothing

  bool operator==(const AppMeta&) const = default;
};

// One row of the app picker. Identity, equality and hashing are the bundle identifier alone.
struct InstalledApp {
  QString id;
  QString name;
  QUrl url;
  QIcon icon;

  bool operator==(const InstalledApp& other) const { return id == other.id; }
};

// The folders to scan, in precedence order (user first).
std::vector<std::filesystem::path> applicationFolders();

// The apps of the folders and their subfolders, one per desktop-file ID as the running-app side knows them
// (the first folder that has it wins; see platform::scanDesktopEntries), without NoDisplay ones, sorted by
// name case-insensitively in the current locale, equal names in scan order. Names are localised for
// `locale` (messages locale form, "de_DE.UTF-8"). Never fails: unreadable folders and entries are skipped.
std::vector<AppMeta> scanInstalledApps(const std::vector<std::filesystem::path>& folders, std::string_view locale);
std::vector<AppMeta> scanInstalledApps();

// The rows for scanned apps, in order, each with its icon (a generic one when the entry names none that
// can be found). Main thread only.
std::vector<InstalledApp> makeInstalledApps(const std::vector<AppMeta>& metas);
QIcon iconForEntry(const std::string& iconName, const QIcon& fallback);

}  // namespace velmoria

template <>
struct std::hash<velmoria::AppMeta> {
  std::size_t operator()(const velmoria::AppMeta& m) const noexcept;
};

template <>
struct std::hash<velmoria::InstalledApp> {
  std::size_t operator()(const velmoria::InstalledApp& a) const noexcept;
};
