#include "ConnectionSteps.hpp"

namespace zirudeze::realtime::transport::detail {

std::shared_ptr<PendingConnect> launchPlain(HandshakeRequest request, Endpoint endpoint, Completion completion) {
  return launch<PlainLayer>(std::move(request), std::move(endpoint), std::move(completion));
}

}  // namespace zirudeze::realtime::transport::detail
