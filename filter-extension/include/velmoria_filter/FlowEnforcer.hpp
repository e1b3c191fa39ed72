#pragma once

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

#include "velmoria_filter/FlowTracker.hpp"

namespace velmoria::filter {

class EnforcementError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Makes the provider's drop verdicts hold on this machine's traffic.
class FlowEnforcer {
 public:
  virtual ~FlowEnforcer() = default;
  // Puts fresh, empty rules in place, replacing any an earlier run left behind.
  virtual void start() = 0;
  // Removes every rule of ours; nothing happens when none are in place.
  virtual void stop() = 0;
  // Stops the flow's further packets both ways and makes its local end fail at once.
  virtual void drop(const FlowKey& flow) = 0;
};

// One nftables table of our own, "inet velmoria", and nothing outside it. Dropped flows go into sets
// keyed by both ends' addresses and ports, whose entries time out; an outbound packet of such a flow
// is answered with a reset (TCP) or a port-unreachable error (UDP), an inbound one is dropped. The
// local TCP socket of a dropped flow is destroyed as well. Not for use from several threads at once.
// Every call throws EnforcementError when the kernel refuses it.
class NftablesEnforcer final : public FlowEnforcer {
 public:
  static constexpr const char* family = "inet";
  static constexpr const char* table = "velmoria";

  explicit NftablesEnforcer(std::chrono::seconds entryTimeout = std::chrono::minutes(2));
  ~NftablesEnforcer() override;
  NftablesEnforcer(const NftablesEnforcer&) = delete;
  NftablesEnforcer& operator=(const NftablesEnforcer&) = delete;

  void start() override;
  void stop() override;
  void drop(const FlowKey& flow) override;

 private:
  void run(const std::string& commands);

  struct Context;
  std::unique_ptr<Context> context_;
  std::chrono::seconds entryTimeout_;
};

}  // namespace velmoria::filter
