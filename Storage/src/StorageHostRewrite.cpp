#include "storage/StorageHostRewrite.hpp"

#include <algorithm>

namespace zirudeze::storage {
namespace {

std::string lowercased(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
  return out;
}

// Whether `text` occurs in `host` starting at a label, i.e. at the start or right after a dot.
bool hasLabelsAt(const std::string& host, const std::string& text, std::size_t at) {
  return host.compare(at, text.size(), text) == 0 && (at == 0 || host[at - 1] == '.');
}

bool containsLabels(const std::string& host, const std::string& labels) {
  for (std::size_t at = host.find(labels); at != std::string::npos; at = host.find(labels, at + 1)) {
    const std::size_t end = at + labels.size();
    if (hasLabelsAt(host, labels, at) && (end == host.size() || host[end] == '.')) return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> StorageHostRewrite::rewrittenHost(std::string_view host) const {
  if (domainLabel.empty() || storageForm.empty()) return std::nullopt;
  const std::string lower = lowercased(host);
  const std::string label = lowercased(domainLabel);
  const bool onService = std::any_of(topLevelLabels.begin(), topLevelLabels.end(), [&](const std::string& tld) {
    if (tld.empty()) return false;
    const std::string domain = label + "." + lowercased(tld);
    return lower.size() >= domain.size() && hasLabelsAt(lower, domain, lower.size() - domain.size());
  });
  if (!onService || containsLabels(lower, lowercased(storageForm))) return std::nullopt;

  const std::string labelAndDot = label + ".";
  std::string moved;
  std::size_t copied = 0;
  for (std::size_t at = lower.find(labelAndDot); at != std::string::npos; at = lower.find(labelAndDot, at + 1)) {
    if (!hasLabelsAt(lower, labelAndDot, at)) continue;
    moved.append(host.substr(copied, at - copied));
    moved.append(storageForm);
    moved.push_back('.');
    copied = at + labelAndDot.size();
  }
  moved.append(host.substr(copied));
  return moved;
}

}  // namespace zirudeze::storage
