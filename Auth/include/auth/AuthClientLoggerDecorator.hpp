#pragma once

#include <memory>

#include "auth/AuthClientID.hpp"
#include "helpers/ZirudezeLogger.hpp"

namespace zirudeze::auth {

// Passes every record on with the client's id under "client_id" (an integer, replacing any value there),
// so records of several clients in one log stay apart.
class AuthClientLoggerDecorator final : public helpers::ZirudezeLogger {
 public:
  AuthClientLoggerDecorator(AuthClientID clientID, std::shared_ptr<const helpers::ZirudezeLogger> decoratee)
      : clientID(clientID), decoratee(std::move(decoratee)) {}

  void log(const helpers::ZirudezeLogMessage& message) const override;

  const AuthClientID clientID;
  const std::shared_ptr<const helpers::ZirudezeLogger> decoratee;
};

}  // namespace zirudeze::auth
