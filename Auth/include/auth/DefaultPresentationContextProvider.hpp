#pragma once

#include <memory>

#include "platform/WebAuthenticationSession.hpp"

namespace zirudeze::auth {

// What a web authentication session presents over when its caller set nothing: a new, empty anchor each
// time it is asked.
class DefaultPresentationContextProvider final : public velmoria::platform::PresentationContextProviding {
 public:
  std::shared_ptr<velmoria::platform::PresentationAnchor> presentationAnchor(
      const velmoria::platform::WebAuthenticationSession&) override {
    return std::make_shared<velmoria::platform::PresentationAnchor>();
  }
};

}  // namespace zirudeze::auth
