#pragma once

#include <QObject>
#include <memory>
#include <set>
#include <string>

#include "platform/UserDefaults.hpp"

namespace velmoria {

// The bundle identifiers of the apps to terminate while blocking, kept in the standard defaults. A stored
// list that could not be read is never overwritten: saving reads it again and keeps its entries.
class MacBlocklistStore : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* defaultsKey = "mac.blockedBundleIDs";

  explicit MacBlocklistStore(platform::DefaultsSystem& defaults = platform::systemDefaults(),
                             QObject* parent = nullptr);

  const std::set<std::string>& blockedBundleIDs() const { return blockedBundleIDs_; }
  bool contains(const std::string& bundleID) const { return blockedBundleIDs_.count(bundleID) != 0; }

  // Removes the identifier when present, else inserts it; then saves.
  void toggle(const std::string& bundleID);
  void save();

 Q_SIGNALS:
  void blockedBundleIDsChanged();

 private:
  bool mergeStored();

  std::shared_ptr<platform::UserDefaults> defaults_;
  std::set<std::string> blockedBundleIDs_;
  bool loaded_ = false;
};

}  // namespace velmoria
