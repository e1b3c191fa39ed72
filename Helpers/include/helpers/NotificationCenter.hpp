#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "helpers/ObservationToken.hpp"

namespace zirudeze::helpers {

// One broadcast: a name, the object it concerns (empty for none) and a dictionary of extra values.
struct Notification {
  std::string name;
  std::any object;
  std::map<std::string, std::any> userInfo;
};

// The process's in-process broadcast of named notifications, for observers that know nothing of the
// poster. Posting is synchronous: observers run on the posting thread, before post() returns, with no
// lock held, so they may post or observe in turn.
class NotificationCenter {
 public:
  using Observer = std::function<void(const Notification&)>;

  NotificationCenter();
  ~NotificationCenter();
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // The centre everybody shares.
  static NotificationCenter& defaultCenter();

  // Calls `observer` for each later notification of that name (of any name when none is given), in the
  // order observers were added, until the token is cancelled or its last copy goes away.
  ObservationToken addObserver(std::optional<std::string> name, Observer observer);

  void post(const Notification& notification) const;
  void post(std::string name, std::any object = {}, std::map<std::string, std::any> userInfo = {}) const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace zirudeze::helpers
