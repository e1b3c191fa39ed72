#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>

#include "velmoria_filter/DomainMatcher.hpp"
#include "velmoria_filter/FilterConfiguration.hpp"
#include "velmoria_filter/FilterFlow.hpp"
#include "velmoria_filter/FilterLog.hpp"
#include "velmoria_filter/SharedSnapshot.hpp"

namespace velmoria::filter {

// Reasons a provider is stopped, in the system's numbering.
enum class StopReason : long {
  none = 0,
  userInitiated = 1,
  providerFailed = 2,
  configurationDisabled = 9,
  configurationRemoved = 10,
};

// The content filter: drops TCP port-443 flows whose TLS server name is a blocked domain or lies
// below one, and all UDP to port 443 so browsers fall back to TCP. Anything it cannot read, it allows.
// Flow callbacks may run on any number of threads while a restart replaces the list.
class WebFilterProvider {
 public:
  static constexpr std::size_t peekOutboundBytes = 8192;

  explicit WebFilterProvider(std::shared_ptr<FilterLog> log);

  // Takes the domain list from the configuration's vendor dictionary when it holds an array of texts;
  // otherwise keeps the list it has. Never fails: the completion gets no error.
  void startFilter(const std::optional<ProviderConfiguration>& filterConfiguration,
                   const std::function<void(std::optional<std::string> error)>& completion);
  void stopFilter(long reason, const std::function<void()>& completion);

  NewFlowVerdict handleNewFlow(const FilterFlow& flow) const;
  // Called once with the first outbound bytes of a flow that asked for them; the offset is unused.
  DataVerdict handleOutboundData(const FilterFlow& flow, std::size_t readBytesStartOffset,
                                 std::span<const std::uint8_t> readBytes) const;

  std::set<std::string> blocklist() const;

 private:
  std::shared_ptr<FilterLog> log_;
  const std::string blockedDomainsKey_ = "mac.blockedDomains";
  // Replaced whole by a start, read by the flow callbacks: never changed in place.
  SharedSnapshot<Blocklist> blocklist_;
};

// A port text as a signed decimal integer: an optional sign, then digits only.
std::optional<long long> parsePort(std::string_view text);

}  // namespace velmoria::filter
