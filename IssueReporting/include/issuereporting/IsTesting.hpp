#pragma once

#include <string>
#include <vector>

namespace zirudeze::issuereporting {

// True when the process runs under a test runner; computed once, on first use.
bool isTesting();

// The decision itself, over a given environment ("NAME=value" entries) and argument list
// (program path first).
bool detectTesting(const std::vector<std::string>& environment, const std::vector<std::string>& arguments);

}  // namespace zirudeze::issuereporting
