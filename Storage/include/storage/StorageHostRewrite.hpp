#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zirudeze::storage {

// Where useNewHostname moves a project host: deployment values of the hosted service. A host whose last
// labels are `domainLabel` and one of `topLevelLabels` gets `storageForm` in place of the domain label
// ("p.<domain>.<tld>" becomes "p.<storageForm>.<tld>"), unless it already holds that form. The
// empty rule matches no host.
struct StorageHostRewrite {
  std::string domainLabel;
  std::vector<std::string> topLevelLabels;
  // The storage-specific spelling of the domain label, such as "storage." + domainLabel.
  std::string storageForm;

  // The moved host, or nothing when the host stays as it is. Labels compare without regard to case.
  std::optional<std::string> rewrittenHost(std::string_view host) const;
};

}  // namespace zirudeze::storage
