#include "realtime/PushV2.hpp"

#include "concurrency/CancellationError.hpp"
#include "helpers/WithTimeout.hpp"
#include "realtime/RealtimeChannelV2.hpp"
#include "realtime/WebSocket.hpp"

namespace zirudeze::realtime {

PushV2::PushV2(std::weak_ptr<RealtimeChannelV2> channel, RealtimeMessageV2 message)
    : channel_(std::move(channel)), message_(std::move(message)) {}

PushStatus PushV2::send() {
  double limit = kDefaultTimeoutInterval;
  std::shared_ptr<const helpers::ZirudezeLogger> logger;
  {
    const auto channel = channel_.lock();
    if (!channel) return PushStatus::error;
    const auto client = channel->socket();
    if (!client) return PushStatus::error;
    const bool acknowledged = channel->config().broadcast.acknowledgeBroadcasts;
    if (acknowledged) {
      // Armed before the message leaves, so a reply that beats the wait still counts.
      const velmoria::base::MutexLock lock(mutex_);
      waiting_ = true;
    }
    client->push(message_);
    if (!acknowledged) return PushStatus::ok;
    limit = client->options().timeoutInterval;
    logger = channel->logger_;
  }
  const auto disarm = [this] {
    const velmoria::base::MutexLock lock(mutex_);
    waiting_ = false;
  };
  try {
    return helpers::withTimeout(limit, [this](std::stop_token stop) {
      const auto reply = waitForReply(stop);
      if (!reply) throw concurrency::CancellationError();
      return *reply;
    });
  } catch (const helpers::TimeoutError&) {
    disarm();
    if (logger) logger->debug("Push timed out.");
    return PushStatus::timeout;
  } catch (...) {
    disarm();
    if (logger) logger->error("Error sending push: " + localizedDescription(std::current_exception()));
    return PushStatus::error;
  }
}

void PushV2::didReceive(PushStatus status) {
  {
    const velmoria::base::MutexLock lock(mutex_);
    if (!waiting_) return;
    waiting_ = false;
    reply_ = status;
  }
  replied_.notifyAll();
}

std::optional<PushStatus> PushV2::waitForReply(const std::stop_token& stop) {
  velmoria::base::MutexLock lock(mutex_);
  replied_.wait(lock, stop, [this]() VM_REQUIRES(mutex_) { return reply_.has_value(); });
  return reply_;
}

}  // namespace zirudeze::realtime
