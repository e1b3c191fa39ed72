#pragma once

#include <memory>
#include <optional>
#include <stop_token>

#include "base/ThreadSafety.hpp"
#include "realtime/RealtimeMessageV2.hpp"
#include "realtime/RealtimeStatus.hpp"

namespace zirudeze::realtime {

class RealtimeChannelV2;

// One message a channel sends. It hands the message to the channel's client and, when the channel asked
// the server to acknowledge, waits for the reply with the same ref up to the client's timeout.
class PushV2 {
 public:
  PushV2(std::weak_ptr<RealtimeChannelV2> channel, RealtimeMessageV2 message);
  PushV2(const PushV2&) = delete;
  PushV2& operator=(const PushV2&) = delete;

  const RealtimeMessageV2& message() const noexcept { return message_; }

  // `error` when the channel is gone (nothing sent); `ok` at once without acknowledgement; else the
  // reply's status, `timeout` when none came in time, or `error` when the wait was cancelled.
  PushStatus send();
  // Completes a send that is waiting for its reply; nothing otherwise, also later.
  void didReceive(PushStatus status);

 private:
  // The reply, or nothing when `stop` came first.
  std::optional<PushStatus> waitForReply(const std::stop_token& stop);

  const std::weak_ptr<RealtimeChannelV2> channel_;
  const RealtimeMessageV2 message_;

  velmoria::base::Mutex mutex_;
  velmoria::base::ConditionVariable replied_;
  bool waiting_ VM_GUARDED_BY(mutex_) = false;
  std::optional<PushStatus> reply_ VM_GUARDED_BY(mutex_);
};

}  // namespace zirudeze::realtime
