#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "realtime/RealtimeClientProtocol.hpp"

namespace zirudeze::fuzzing {

// A connected client that sends nothing anywhere: the channel's only view of the world in a fuzz run.
class OfflineRealtimeClient final : public realtime::RealtimeClientProtocol {
 public:
  explicit OfflineRealtimeClient(std::shared_ptr<helpers::HTTPClientType> http = nullptr)
      : options_(std::map<std::string, std::string>{{"apikey", "key"}}), http_(std::move(http)) {}

  realtime::RealtimeClientStatus status() const override { return realtime::RealtimeClientStatus::connected; }
  void connect() override {}
  void push(realtime::RealtimeMessageV2) override {}
  std::string makeRef() override { return std::to_string(++ref_); }
  void removeChannelFromRegistry(const std::string&) override {}
  bool registerChannel(const std::shared_ptr<realtime::RealtimeChannelV2>&) override { return true; }
  const realtime::RealtimeClientOptions& options() const override { return options_; }
  const velmoria::base::URL& url() const override { return url_; }
  std::optional<std::string> accessToken() const override { return "token"; }
  std::shared_ptr<helpers::HTTPClientType> http() const override { return http_; }

 private:
  realtime::RealtimeClientOptions options_;
  velmoria::base::URL url_ = *velmoria::base::URL::parse("http://127.0.0.1:9/realtime/v1");
  std::shared_ptr<helpers::HTTPClientType> http_;
  std::atomic<long> ref_{0};
};

}  // namespace zirudeze::fuzzing
