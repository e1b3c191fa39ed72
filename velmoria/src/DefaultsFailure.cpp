#include "DefaultsFailure.hpp"

#include <string>

#include "platform/SystemLog.hpp"

namespace velmoria::detail {

void logDefaultsFailure(std::string_view what, const platform::DefaultsError& error) {
  platform::systemLog().log(platform::LogLevel::error, "com.tandrelkoss.kelvaton", "defaults",
                            std::string(what) + ": " + error.what());
}

}  // namespace velmoria::detail
