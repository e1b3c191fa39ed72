#include "realtime/legacy/Defaults.hpp"

#include <array>

#include "JSONText.hpp"

namespace zirudeze::realtime {

double Defaults::reconnectSteppedBackOff(int tries) noexcept {
  static constexpr std::array<double, 9> steps{0.01, 0.05, 0.1, 0.15, 0.2, 0.25, 0.5, 1.0, 2.0};
  if (tries < 1) return steps.front();
  if (tries > static_cast<int>(steps.size())) return 5.0;
  return steps[static_cast<std::size_t>(tries - 1)];
}

double Defaults::rejoinSteppedBackOff(int tries) noexcept {
  static constexpr std::array<double, 3> steps{1.0, 2.0, 5.0};
  if (tries < 1) return steps.front();
  if (tries > static_cast<int>(steps.size())) return 10.0;
  return steps[static_cast<std::size_t>(tries - 1)];
}

velmoria::base::Data Defaults::encode(const helpers::AnyJSON& value) {
  std::string text;
  detail::appendJSON(text, value);
  return velmoria::base::Data(text.begin(), text.end());
}

std::optional<helpers::AnyJSON> Defaults::decode(std::string_view bytes) { return helpers::AnyJSON::parse(bytes); }

std::optional<helpers::AnyJSON> Defaults::decode(const velmoria::base::Data& bytes) {
  return decode(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string describe(const helpers::AnyJSON& value) { return value.description(); }

}  // namespace zirudeze::realtime
