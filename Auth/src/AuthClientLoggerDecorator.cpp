#include "auth/AuthClientLoggerDecorator.hpp"

namespace zirudeze::auth {

void AuthClientLoggerDecorator::log(const helpers::ZirudezeLogMessage& message) const {
  helpers::ZirudezeLogMessage decorated = message;
  decorated.additionalContext.insert_or_assign("client_id", helpers::AnyJSON(clientID));
  decoratee->log(decorated);
}

}  // namespace zirudeze::auth
