#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/URL.hpp"
#include "helpers/HTTPClient.hpp"
#include "realtime/RealtimeClientOptions.hpp"
#include "realtime/RealtimeMessageV2.hpp"
#include "realtime/RealtimeStatus.hpp"

namespace zirudeze::realtime {

class RealtimeChannelV2;

// A channel's only view of its client. Every member may be called from any thread.
class RealtimeClientProtocol {
 public:
  virtual ~RealtimeClientProtocol() = default;

  virtual RealtimeClientStatus status() const = 0;
  // Returns once the client is connected, or when the calling task is cancelled.
  virtual void connect() = 0;
  // Sends now when connected, else once connected; never fails towards the caller.
  virtual void push(RealtimeMessageV2 message) = 0;
  // "1", "2", ... unique within the client.
  virtual std::string makeRef() = 0;
  // Forgets the channel registered under `topic`, sending nothing.
  virtual void removeChannelFromRegistry(const std::string& topic) = 0;
  // Registers `channel` under its topic unless a different channel holds that topic now; whether the
  // registry holds `channel` afterwards.
  virtual bool registerChannel(const std::shared_ptr<RealtimeChannelV2>& channel) = 0;

  virtual const RealtimeClientOptions& options() const = 0;
  // The base URL the client was made with, before any WebSocket scheme.
  virtual const velmoria::base::URL& url() const = 0;
  // The token the client last handed to its channels.
  virtual std::optional<std::string> accessToken() const = 0;
  virtual std::shared_ptr<helpers::HTTPClientType> http() const = 0;
};

}  // namespace zirudeze::realtime
