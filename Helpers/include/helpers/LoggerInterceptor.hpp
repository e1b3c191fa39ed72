#pragma once

#include <memory>

#include "helpers/HTTPClient.hpp"
#include "helpers/ZirudezeLogger.hpp"

namespace zirudeze::helpers {

// Logs every request, its response or its failure, under a fresh request id that every message logged
// further down the chain carries too. Credentials in URLs and bodies are masked.
class LoggerInterceptor final : public HTTPClientInterceptor {
 public:
  explicit LoggerInterceptor(std::shared_ptr<const ZirudezeLogger> logger);

  HTTPResponse intercept(const HTTPRequest& request, const HTTPNext& next) override;

  const std::shared_ptr<const ZirudezeLogger> logger;
};

}  // namespace zirudeze::helpers
