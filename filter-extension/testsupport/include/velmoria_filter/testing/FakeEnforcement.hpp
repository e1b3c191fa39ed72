#pragma once

#include <unistd.h>

#include <deque>
#include <string>
#include <vector>

#include "base/ThreadSafety.hpp"
#include "velmoria_filter/FlowEnforcer.hpp"
#include "velmoria_filter/LiveCapture.hpp"

// Stand-ins for the nftables table and the live capture, so the daemon's logic runs without root.
namespace velmoria::filter::testing {

class RecordingEnforcer final : public FlowEnforcer {
 public:
  void start() override { record("start", failStart); }
  void stop() override { record("stop", false); }
  void drop(const FlowKey& flow) override {
    record("drop " + flow.source.text() + ":" + std::to_string(flow.sourcePort) + " " + flow.destination.text() + ":" +
               std::to_string(flow.destinationPort),
           false);
  }
  std::vector<std::string> calls() const {
    const base::MutexLock lock(mutex_);
    return calls_;
  }

  bool failStart = false;

 private:
  void record(std::string call, bool fail) {
    {
      const base::MutexLock lock(mutex_);
      calls_.push_back(std::move(call));
    }
    if (fail) throw EnforcementError("refused on purpose");
  }
  mutable base::Mutex mutex_;
  std::vector<std::string> calls_ VM_GUARDED_BY(mutex_);
};

// Packets the test queues; the descriptor is a pipe that is readable while packets wait.
class QueuedPacketSource final : public PacketSource {
 public:
  struct Packet {
    DecodedPacket packet;
    std::vector<std::uint8_t> payload;
  };

  QueuedPacketSource() { static_cast<void>(::pipe(pipe_)); }
  ~QueuedPacketSource() override {
    ::close(pipe_[0]);
    ::close(pipe_[1]);
  }

  void push(DecodedPacket packet, std::vector<std::uint8_t> payload = {}) {
    const base::MutexLock lock(mutex_);
    queue_.push_back({packet, std::move(payload)});
    static_cast<void>(::write(pipe_[1], "x", 1));
  }
  void setKernelDropped(std::uint64_t dropped) {
    const base::MutexLock lock(mutex_);
    dropped_ = dropped;
  }

  int descriptor() const override { return pipe_[0]; }
  std::size_t dispatch(const Handler& handler) override {
    std::deque<Packet> ready;
    {
      const base::MutexLock lock(mutex_);
      ready.swap(queue_);
      char drain[64];
      for (std::size_t left = ready.size(); left > 0;) {
        const auto n = ::read(pipe_[0], drain, std::min(left, sizeof drain));
        if (n <= 0) break;
        left -= static_cast<std::size_t>(n);
      }
    }
    for (auto& item : ready) {
      item.packet.payload = item.payload;
      handler(item.packet, std::chrono::system_clock::now());
    }
    return ready.size();
  }
  Statistics statistics() override {
    const base::MutexLock lock(mutex_);
    return {0, dropped_};
  }

 private:
  int pipe_[2] = {-1, -1};
  base::Mutex mutex_;
  std::deque<Packet> queue_ VM_GUARDED_BY(mutex_);
  std::uint64_t dropped_ VM_GUARDED_BY(mutex_) = 0;
};

inline IpAddress ipv4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  IpAddress address;
  address.bytes[0] = a;
  address.bytes[1] = b;
  address.bytes[2] = c;
  address.bytes[3] = d;
  return address;
}

inline DecodedPacket outbound(int protocol, std::uint16_t sourcePort, std::uint16_t destinationPort,
                              std::uint32_t sequence = 0, bool syn = false) {
  DecodedPacket packet;
  packet.protocol = protocol;
  packet.source = ipv4(10, 0, 0, 2);
  packet.destination = ipv4(10, 0, 0, 9);
  packet.sourcePort = sourcePort;
  packet.destinationPort = destinationPort;
  packet.sequence = sequence;
  packet.syn = syn;
  packet.ack = !syn;
  return packet;
}

}  // namespace velmoria::filter::testing
