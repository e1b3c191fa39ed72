#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The bundle identifier of an app on this platform is its desktop-file ID without the ".desktop"
// suffix: the path of its entry below an "applications" folder with "/" turned into "-"
// ("kde/konsole.desktop" -> "kde-konsole"). Both the installed-app list and the running-app
// identification derive it here, so the two always agree.
namespace velmoria::platform {

// The ID of the entry at `entry` found while scanning `applicationsFolder`; nothing when the entry is not
// a ".desktop" file inside that folder.
std::optional<std::string> desktopFileId(const std::filesystem::path& applicationsFolder,
                                         const std::filesystem::path& entry);

// The ID from an absolute entry path with no known folder (GIO_LAUNCHED_DESKTOP_FILE): the part below
// the last "applications" component, else the file name alone.
std::optional<std::string> desktopFileIdFromEntryPath(const std::filesystem::path& entry);

// The ID named by a systemd unit of a launched app, from one line of /proc/<pid>/cgroup or a unit name:
// "app[-<launcher>]-<id>-<random>.scope" or "app[-<launcher>]-<id>[@<random>].service", with the id
// escaped the systemd way ("\x2d" for "-"). Nothing for any other unit.
std::optional<std::string> desktopFileIdFromCgroup(std::string_view cgroupLine);

// The application folders in precedence order: $XDG_DATA_HOME/applications (user first), each
// $XDG_DATA_DIRS entry + "/applications", then the flatpak export folders.
std::vector<std::filesystem::path> applicationFolders();

}  // namespace velmoria::platform
