#include "realtime/RealtimeChannelV2.hpp"

#include <utility>

#include "concurrency/CancellationError.hpp"

namespace zirudeze::realtime {

std::shared_ptr<RealtimeChannelV2> RealtimeChannelV2::make(std::string topic, RealtimeChannelConfig config,
                                                           std::weak_ptr<RealtimeClientProtocol> socket,
                                                           std::shared_ptr<const helpers::ZirudezeLogger> logger) {
  return std::shared_ptr<RealtimeChannelV2>(
      new RealtimeChannelV2(std::move(topic), std::move(config), std::move(socket), std::move(logger)));
}

RealtimeChannelV2::RealtimeChannelV2(std::string topic, RealtimeChannelConfig config,
                                     std::weak_ptr<RealtimeClientProtocol> socket,
                                     std::shared_ptr<const helpers::ZirudezeLogger> logger)
    : topic_(std::move(topic)), socket_(std::move(socket)), logger_(std::move(logger)) {
  const velmoria::base::MutexLock lock(mutex_);
  state_.config = std::move(config);
}

RealtimeChannelV2::~RealtimeChannelV2() { callbackManager_->reset(); }

RealtimeChannelStatus RealtimeChannelV2::status() const { return statusSubject_.value(); }

concurrency::AsyncStream<RealtimeChannelStatus> RealtimeChannelV2::statusChange() const {
  return statusSubject_.values();
}

helpers::ObservationToken RealtimeChannelV2::onStatusChange(std::function<void(RealtimeChannelStatus)> listener) const {
  const auto task = statusSubject_.onChange(
      [listener = std::move(listener)](const RealtimeChannelStatus& status) { listener(status); });
  return helpers::ObservationToken([task] { task.cancel(); });
}

RealtimeChannelConfig RealtimeChannelV2::config() const {
  const velmoria::base::MutexLock lock(mutex_);
  return state_.config;
}

std::vector<PostgresJoinConfig> RealtimeChannelV2::clientChanges() const {
  const velmoria::base::MutexLock lock(mutex_);
  return state_.clientChanges;
}

std::optional<std::string> RealtimeChannelV2::joinRef() const {
  const velmoria::base::MutexLock lock(mutex_);
  return state_.joinRef;
}

void RealtimeChannelV2::setStatus(RealtimeChannelStatus status) { statusSubject_.yield(status); }

void RealtimeChannelV2::waitForStatus(RealtimeChannelStatus wanted, const std::stop_token& stop) const {
  const auto statuses = statusSubject_.values();
  while (const auto status = statuses.next(stop)) {
    if (*status == wanted) return;
  }
  throw concurrency::CancellationError();
}

PushStatus RealtimeChannelV2::push(const std::string& event, std::optional<std::string> ref,
                                   helpers::JSONObject payload) {
  std::optional<std::string> joinRef;
  {
    const velmoria::base::MutexLock lock(mutex_);
    joinRef = state_.joinRef;
  }
  if (!ref) {
    const auto client = socket();
    if (!client) return PushStatus::error;
    ref = client->makeRef();
  }
  auto push = std::make_shared<PushV2>(weak_from_this(),
                                       RealtimeMessageV2(std::move(joinRef), ref, topic_, event, std::move(payload)));
  {
    const velmoria::base::MutexLock lock(mutex_);
    state_.pushes.insert_or_assign(*ref, push);
  }
  const PushStatus status = push->send();
  // Done, answered or not: a reply from now on finds nobody waiting, so the table need not keep it.
  const velmoria::base::MutexLock lock(mutex_);
  if (const auto kept = state_.pushes.find(*ref); kept != state_.pushes.end() && kept->second == push) {
    state_.pushes.erase(kept);
  }
  return status;
}

std::size_t RealtimeChannelV2::pendingPushCount() const {
  const velmoria::base::MutexLock lock(mutex_);
  return state_.pushes.size();
}

concurrency::AsyncStream<PresenceActionImpl> RealtimeChannelV2::presenceChangeStream() {
  return listenerStream<PresenceActionImpl>(
      [this](std::function<void(const PresenceActionImpl&)> yield) { return onPresenceChange(std::move(yield)); });
}

concurrency::AsyncStream<helpers::JSONObject> RealtimeChannelV2::broadcastStream(std::string event) {
  return listenerStream<helpers::JSONObject>([&](std::function<void(const helpers::JSONObject&)> yield) {
    return onBroadcast(std::move(event), std::move(yield));
  });
}

concurrency::AsyncStream<helpers::JSONObject> RealtimeChannelV2::broadcastAsyncStream(std::string event) {
  return broadcastStream(std::move(event));
}

concurrency::AsyncStream<RealtimeMessageV2> RealtimeChannelV2::systemStream() {
  return listenerStream<RealtimeMessageV2>(
      [this](std::function<void(const RealtimeMessageV2&)> yield) { return onSystem(std::move(yield)); });
}

void RealtimeChannelV2::logDebug(const std::string& message, velmoria::base::CodeLocation location) const {
  log(helpers::ZirudezeLogLevel::debug, message, location);
}

void RealtimeChannelV2::logError(const std::string& message, velmoria::base::CodeLocation location) const {
  log(helpers::ZirudezeLogLevel::error, message, location);
}

void RealtimeChannelV2::log(helpers::ZirudezeLogLevel level, const std::string& message,
                            const velmoria::base::CodeLocation& location) const {
  if (!logger_) return;
  // Every part of the channel logs under one file name, whichever source holds the line.
  helpers::LogSite site = helpers::LogSite::from(location);
  site.fileID = "Realtime/RealtimeChannelV2.cpp";
  logger_->emit(level, message, site);
}

}  // namespace zirudeze::realtime
