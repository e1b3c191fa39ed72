#include <cstdio>

#include "RetryDelay.hpp"
#include "base/coding/JSONCoders.hpp"
#include "concurrency/CancellationError.hpp"
#include "helpers/HTTPFieldsBridging.hpp"
#include "helpers/SleepClock.hpp"
#include "helpers/WithTimeout.hpp"
#include "issuereporting/ReportIssue.hpp"
#include "realtime/RealtimeChannelV2.hpp"
#include "realtime/RealtimeError.hpp"

namespace zirudeze::realtime {

namespace {

std::string twoDecimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

}  // namespace

void RealtimeChannelV2::subscribeWithError() {
  const auto client = socket();
  const std::int64_t maxAttempts = client ? client->options().maxRetryAttempts : kDefaultMaxRetryAttempts;
  const double limit = client ? client->options().timeoutInterval : kDefaultTimeoutInterval;
  const std::string max = std::to_string(maxAttempts);
  const std::string quoted = "'" + topic_ + "'";

  logDebug("Starting subscription to channel " + quoted + " (attempt 1/" + max + ")");
  setStatus(RealtimeChannelStatus::subscribing);
  // Every way out leaves the channel subscribed or unsubscribed.
  struct Settle {
    RealtimeChannelV2& channel;
    ~Settle() {
      if (channel.status() != RealtimeChannelStatus::subscribed) channel.setStatus(RealtimeChannelStatus::unsubscribed);
    }
  } settle{*this};
  const auto cancelled = [&] {
    logDebug("Subscription retry cancelled for channel " + quoted);
    return concurrency::CancellationError();
  };

  std::int64_t attempts = 0;
  while (attempts < maxAttempts) {
    ++attempts;
    const std::string attempt = std::to_string(attempts) + "/" + max;
    logDebug("Attempting to subscribe to channel " + quoted + " (attempt " + attempt + ")");
    try {
      const bool joined = helpers::withTimeout(limit, [this](std::stop_token stop) { return subscribeOnce(stop); });
      // No join went out when the client could not connect: that is no success to log.
      if (joined) logDebug("Successfully subscribed to channel " + quoted);
      return;
    } catch (const helpers::TimeoutError&) {
      logDebug("Subscribe timed out for channel " + quoted + " (attempt " + attempt + ")");
    } catch (const concurrency::CancellationError&) {
      throw cancelled();
    }
    if (attempts >= maxAttempts) {
      logError("Failed to subscribe to channel " + quoted + " after " + max + " attempts due to timeout");
      break;
    }
    const double delay = detail::retryDelay(attempts);
    logDebug("Retrying subscription to channel " + quoted + " in " + twoDecimals(delay) + " seconds...");
    try {
      helpers::currentSleepClock()->sleep(delay);
    } catch (const concurrency::CancellationError&) {
      throw cancelled();
    }
    const auto current = socket();
    if (!current || current->status() != RealtimeClientStatus::connected) {
      logDebug("Socket disconnected during retry delay for channel " + quoted + ", aborting subscription");
      throw cancelled();
    }
  }
  logError("Subscription to channel " + quoted + " failed after " + std::to_string(attempts) + " attempts");
  throw RealtimeError("Maximum retry attempts reached.");
}

void RealtimeChannelV2::subscribe() {
  try {
    subscribeWithError();
  } catch (...) {
  }
}

bool RealtimeChannelV2::subscribeOnce(const std::stop_token& stop) {
  {
    const auto client = socket();
    if (!client) return false;
    if (client->status() != RealtimeClientStatus::connected) {
      if (!client->options().connectOnSubscribe) {
        VM_REPORT_ISSUE(
            "You can't subscribe to a channel while the realtime client is not connected. Did you forget to call "
            "`realtime.connect()`?");
        return false;
      }
      client->connect();
      if (stop.stop_requested()) throw concurrency::CancellationError();
      if (client->status() != RealtimeClientStatus::connected) {
        logDebug("Socket failed to connect, cannot subscribe to channel " + topic_);
        return false;
      }
    }

    // A channel that left is out of the registry, and the replies to its join would reach nobody.
    if (!client->registerChannel(shared_from_this())) {
      VM_REPORT_ISSUE("Another channel holds the topic " + topic_ + " now, so this one cannot join it.");
      return false;
    }
    logDebug("Subscribing to channel " + topic_);
    const bool presenceEnabled = callbackManager_->hasPresenceCallback();
    RealtimeJoinConfig joinConfig;
    {
      const velmoria::base::MutexLock lock(mutex_);
      state_.config.presence.enabled = presenceEnabled;
      joinConfig = RealtimeJoinConfig{state_.config.broadcast, state_.config.presence, state_.clientChanges,
                                      state_.config.isPrivate};
    }
    RealtimeJoinPayload payload{joinConfig, findAccessToken(*client),
                                client->options().headers[helpers::HTTPFieldNames::xClientInfo()]};
    const std::string joinRef = client->makeRef();
    {
      const velmoria::base::MutexLock lock(mutex_);
      state_.joinRef = joinRef;
    }
    logDebug("Subscribing to channel with body: " + velmoria::base::JSONEncoder{}.encodeToString(joinConfig));
    push("phx_join", joinRef, helpers::makeJSONObject(payload));
  }
  waitForStatus(RealtimeChannelStatus::subscribed, stop);
  return true;
}

void RealtimeChannelV2::unsubscribe() {
  setStatus(RealtimeChannelStatus::unsubscribing);
  logDebug("Unsubscribing from channel " + topic_);
  const auto client = socket();
  const double limit = client ? client->options().timeoutInterval : kDefaultTimeoutInterval;
  try {
    // The leave and the wait for the server's close share one limit.
    helpers::withTimeout(limit, [this](std::stop_token stop) {
      push("phx_leave");
      waitForStatus(RealtimeChannelStatus::unsubscribed, stop);
    });
  } catch (const helpers::TimeoutError&) {
    // The server never closed the channel (the socket may be down): it counts as left all the same.
    setStatus(RealtimeChannelStatus::unsubscribed);
  }
}

void RealtimeChannelV2::updateAuth(const std::optional<std::string>& jwt) {
  logDebug("Updating auth token for channel " + topic_);
  push("access_token", std::nullopt,
       helpers::JSONObject{{"access_token", jwt ? helpers::AnyJSON(*jwt) : helpers::AnyJSON(nullptr)}});
}

std::optional<std::string> RealtimeChannelV2::findAccessToken(RealtimeClientProtocol& client) const {
  if (const auto& provider = client.options().accessToken) {
    try {
      if (auto token = provider()) return token;
    } catch (...) {
      // A failing provider falls back to the stored token.
    }
  }
  return client.accessToken();
}

}  // namespace zirudeze::realtime
