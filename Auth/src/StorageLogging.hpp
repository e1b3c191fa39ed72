#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "helpers/ZirudezeLogger.hpp"

namespace zirudeze::auth {

// The storages' records: system "Auth", their own source file, and the function label of the storage
// they belong to. Nothing is logged without a logger.
inline void logStorageEvent(const std::shared_ptr<const helpers::ZirudezeLogger>& logger,
                            helpers::ZirudezeLogLevel level, std::string message, std::string_view fileID,
                            std::uint64_t line) {
  if (!logger) return;
  logger->emit(level, std::move(message), helpers::LogSite{std::string(fileID), "live(clientID:)", line});
}

}  // namespace zirudeze::auth
