#pragma once

#include "AuthServiceTestSupport.hpp"
#include "testsupport/FakeAuthFlows.hpp"

namespace zirudeze::auth::testing {

// The fake auth service with its sign-up, grant, redirect, key-set and admin routes.
struct FlowService : AuthService {
  velmoria::testsupport::FakeAuthFlows flows{service};

  // A client whose stored session the service knows, ending `secondsLeft` from now.
  std::pair<std::shared_ptr<AuthClient>, Session> signedIn(const std::string& email, double secondsLeft = 3600,
                                                           AuthClientConfiguration::Parameters parameters = {}) {
    auto client = parameters.localStorage ? this->client(std::move(parameters)) : this->client();
    Session stored = session(email, secondsLeft);
    dependenciesOf(*client)->sessionStorage.store(stored);
    return {client, stored};
  }

  // Replaces parts of a client's registry entry.
  template <class Change>
  static void change(const AuthClient& client, Change&& change) {
    Dependencies dependencies = *Dependencies::get(client.clientID());
    change(dependencies);
    Dependencies::set(client.clientID(), std::move(dependencies));
  }
};

inline std::vector<std::string> memberNames(const velmoria::base::Json& object) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : object.items()) keys.push_back(key);
  std::sort(keys.begin(), keys.end());
  return keys;
}

}  // namespace zirudeze::auth::testing
