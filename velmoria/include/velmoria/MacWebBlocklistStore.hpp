#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/UserDefaults.hpp"

namespace velmoria {

// The web domains to block, kept sorted in the app-group defaults that the browser redirector and the
// web filter read. A stored list that could not be read is never overwritten: saving reads it again and
// keeps its entries.
class MacWebBlocklistStore : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* appGroupID = "group.com.tandrelkoss.kelvaton";
  static constexpr const char* defaultsKey = "mac.blockedDomains";

  // Opens the app-group suite, or the standard one when that cannot be opened. Writes nothing.
  explicit MacWebBlocklistStore(platform::DefaultsSystem& defaults = platform::systemDefaults(),
                                QObject* parent = nullptr);

  const std::vector<std::string>& domains() const { return domains_; }
  // Replaces the published list (the sites screen removes entries this way), then the caller saves.
  void setDomains(std::vector<std::string> domains);

  // True when the text names a domain that was not yet listed; the list stays sorted and is saved.
  bool add(std::string_view text);
  void save();

  // The bare lower-case host the user's text names, or nothing when it names none.
  static std::optional<std::string> normalizeDomain(std::string_view text);
  // The list order: by Unicode scalars after canonical composition.
  static bool domainLess(const std::string& a, const std::string& b);
  static bool domainEqual(const std::string& a, const std::string& b);

 Q_SIGNALS:
  void domainsChanged();

 private:
  bool mergeStored();

  std::shared_ptr<platform::UserDefaults> defaults_;
  std::vector<std::string> domains_;
  bool loaded_ = false;
};

}  // namespace velmoria
