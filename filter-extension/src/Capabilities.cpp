#include "velmoria_filter/Capabilities.hpp"

#include <sys/capability.h>
#include <sys/prctl.h>

#include <array>
#include <memory>

namespace velmoria::filter {
namespace {

struct CapFree {
  void operator()(cap_t caps) const { cap_free(caps); }
};
using Caps = std::unique_ptr<std::remove_pointer_t<cap_t>, CapFree>;

constexpr std::array<cap_value_t, 2> needed{CAP_NET_RAW, CAP_NET_ADMIN};

}  // namespace

std::vector<std::string> acquireFilterCapabilities() {
  const Caps current(cap_get_proc());
  std::vector<std::string> missing;
  for (const auto capability : needed) {
    cap_flag_value_t permitted = CAP_CLEAR;
    if (!current || cap_get_flag(current.get(), capability, CAP_PERMITTED, &permitted) != 0 || permitted != CAP_SET) {
      missing.emplace_back(capability == CAP_NET_RAW ? "CAP_NET_RAW" : "CAP_NET_ADMIN");
    }
  }
  if (!missing.empty()) return missing;

  const Caps only(cap_init());
  if (only) {
    cap_set_flag(only.get(), CAP_PERMITTED, static_cast<int>(needed.size()), needed.data(), CAP_SET);
    cap_set_flag(only.get(), CAP_EFFECTIVE, static_cast<int>(needed.size()), needed.data(), CAP_SET);
    cap_set_proc(only.get());
  }
  // Nothing this process starts could gain more.
  ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
  // Whether the reduction worked or not, both are effective now only if this reports them.
  const Caps after(cap_get_proc());
  for (const auto capability : needed) {
    cap_flag_value_t effective = CAP_CLEAR;
    if (!after || cap_get_flag(after.get(), capability, CAP_EFFECTIVE, &effective) != 0 || effective != CAP_SET) {
      missing.emplace_back(capability == CAP_NET_RAW ? "CAP_NET_RAW" : "CAP_NET_ADMIN");
    }
  }
  return missing;
}

}  // namespace velmoria::filter
