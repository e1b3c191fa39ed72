#pragma once

#include <string>
#include <vector>

namespace velmoria::filter {

// The live filter needs CAP_NET_RAW (the capture) and CAP_NET_ADMIN (its rules and destroying
// sockets), and nothing else. When the process may hold both, this makes them effective and gives up
// every other capability; otherwise it changes nothing and returns the names of the missing ones.
std::vector<std::string> acquireFilterCapabilities();

}  // namespace velmoria::filter
