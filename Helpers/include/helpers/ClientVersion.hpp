#pragma once

#include <string>

namespace zirudeze::helpers {

// The client library's version, sent after each client's prefix in "X-Client-Info".
const std::string& libraryVersion();
// The operating system's name: "Linux".
const std::string& platformName();
// The kernel release as major.minor.patch ("6.1.0"); missing parts count as 0.
const std::string& platformVersion();

}  // namespace zirudeze::helpers

namespace zirudeze::helpers::detail {
// major.minor.patch from a release text such as "6.1.0-18-amd64" or "5.15"; "0.0.0" when it has no number.
std::string versionTriple(const std::string& release);
}  // namespace zirudeze::helpers::detail
