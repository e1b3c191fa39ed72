#include "velmoria_filter/WebFilterProvider.hpp"

#include <algorithm>
#include <charconv>

#include "velmoria_filter/ServerNameReader.hpp"

namespace velmoria::filter {
namespace {

constexpr long long httpsPort = 443;

std::optional<std::set<std::string>> domainsIn(const std::optional<ProviderConfiguration>& configuration,
                                               const std::string& key) {
  if (!configuration || !configuration->vendorConfiguration) return std::nullopt;
  const auto& vendor = *configuration->vendorConfiguration;
  if (!vendor.is_object()) return std::nullopt;
  const auto value = vendor.find(key);
  if (value == vendor.end() || !value->is_array()) return std::nullopt;
  std::set<std::string> domains;
  for (const auto& item : *value) {
    if (!item.is_string()) return std::nullopt;
    domains.insert(item.get<std::string>());
  }
  return domains;
}

}  // namespace

std::optional<long long> parsePort(std::string_view text) {
  auto digits = text;
  bool negative = false;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  // Parse with the sign attached so the most negative value does not overflow.
  const std::string signedDigits = (negative ? "-" : "") + std::string(digits);
  long long value = 0;
  const auto [end, error] = std::from_chars(signedDigits.data(), signedDigits.data() + signedDigits.size(), value);
  if (error != std::errc() || end != signedDigits.data() + signedDigits.size()) return std::nullopt;
  return value;
}

WebFilterProvider::WebFilterProvider(std::shared_ptr<FilterLog> log)
    : log_(std::move(log)), blocklist_(std::make_shared<const Blocklist>()) {}

void WebFilterProvider::startFilter(const std::optional<ProviderConfiguration>& filterConfiguration,
                                    const std::function<void(std::optional<std::string>)>& completion) {
  if (auto domains = domainsIn(filterConfiguration, blockedDomainsKey_)) {
    blocklist_.store(std::make_shared<const Blocklist>(*domains));
  }
  const auto count = blocklist_.load()->entries().size();
  log_->log(LogLevel::standard, "startFilter blocklistCount=" + std::to_string(count));
  if (completion) completion(std::nullopt);
}

void WebFilterProvider::stopFilter(long reason, const std::function<void()>& completion) {
  log_->log(LogLevel::standard, "stopFilter reason=" + std::to_string(reason));
  if (completion) completion();
}

NewFlowVerdict WebFilterProvider::handleNewFlow(const FilterFlow& flow) const {
  if (blocklist_.load()->entries().empty()) return NewFlowVerdict::allow();
  if (flow.kind != FilterFlow::Kind::socket) return NewFlowVerdict::allow();
  if (!flow.remoteEndpoint) return NewFlowVerdict::allow();
  const auto* endpoint = std::get_if<HostEndpoint>(&*flow.remoteEndpoint);
  if (endpoint == nullptr) return NewFlowVerdict::allow();
  const auto port = parsePort(endpoint->port);
  if (!port || *port != httpsPort) return NewFlowVerdict::allow();
  if (flow.socketProtocol == protocolTcp) {
    return NewFlowVerdict::filterData(false, 0, true, peekOutboundBytes);
  }
  if (flow.socketProtocol == protocolUdp) {
    log_->log(LogLevel::standard, "drop UDP/443 (QUIC) \xE2\x86\x92 TCP-Fallback erzwingen");
    return NewFlowVerdict::drop();
  }
  return NewFlowVerdict::allow();
}

DataVerdict WebFilterProvider::handleOutboundData(const FilterFlow&, std::size_t,
                                                  std::span<const std::uint8_t> readBytes) const {
  const auto name = extractServerName(readBytes);
  if (!name) return DataVerdict::allow;
  const auto blocklist = blocklist_.load();
  if (!blocklist->matches(*name)) return DataVerdict::allow;
  log_->log(LogLevel::standard, "blocked " + *name);
  return DataVerdict::drop;
}

std::set<std::string> WebFilterProvider::blocklist() const { return blocklist_.load()->entries(); }

}  // namespace velmoria::filter
