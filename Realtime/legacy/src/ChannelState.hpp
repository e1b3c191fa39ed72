#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SocketMutex.hpp"
#include "realtime/legacy/RealtimeChannel.hpp"
#include "realtime/legacy/TimeoutTimer.hpp"

namespace zirudeze::realtime {

struct RealtimeChannel::State {
  State(std::string fullTopic, helpers::JSONObject joinParams, const std::shared_ptr<RealtimeClient>& owner,
        std::shared_ptr<SocketMutex> socketLock);

  bool canPush() const VM_REQUIRES(mutex);
  std::optional<std::string> joinRef() const VM_REQUIRES(mutex);

  const std::shared_ptr<SocketMutex> lock;
  SocketMutex& mutex = *lock;
  const std::string topic;
  const std::string subTopic;
  const std::weak_ptr<RealtimeClient> socket;

  helpers::JSONObject params VM_GUARDED_BY(mutex);
  std::shared_ptr<Presence> presence VM_GUARDED_BY(mutex);
  ChannelState state VM_GUARDED_BY(mutex) = ChannelState::closed;
  std::map<std::string, std::vector<Binding>> bindings VM_GUARDED_BY(mutex);
  double timeout VM_GUARDED_BY(mutex);
  bool joinedOnce VM_GUARDED_BY(mutex) = false;
  std::shared_ptr<Push> joinPush VM_GUARDED_BY(mutex);
  std::vector<std::shared_ptr<Push>> pushBuffer VM_GUARDED_BY(mutex);
  std::unique_ptr<TimeoutTimer> rejoinTimer VM_GUARDED_BY(mutex);
  std::vector<std::string> stateChangeRefs VM_GUARDED_BY(mutex);
  std::function<RealtimeMessage(const RealtimeMessage&)> onMessage VM_GUARDED_BY(mutex);
};

}  // namespace zirudeze::realtime
