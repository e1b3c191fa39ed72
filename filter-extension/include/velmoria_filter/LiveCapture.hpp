#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "velmoria_filter/PacketDecoder.hpp"

namespace velmoria::filter {

// Packets as they leave this machine.
class PacketSource {
 public:
  using Handler = std::function<void(const DecodedPacket& packet, std::chrono::system_clock::time_point captured)>;

  struct Statistics {
    std::uint64_t received = 0;
    std::uint64_t kernelDropped = 0;  // the capture fell behind and the kernel threw these away
  };

  virtual ~PacketSource() = default;
  // Readable (for poll) when packets wait.
  virtual int descriptor() const = 0;
  // Hands every waiting packet to `handler` without blocking; returns how many were read.
  virtual std::size_t dispatch(const Handler& handler) = 0;
  virtual Statistics statistics() = 0;
};

// libpcap on every interface (the "any" device), outbound only, immediate delivery: TCP and UDP to
// port 443, TCP packets reduced to those that open, close or carry data. Needs CAP_NET_RAW.
class LiveCapture final : public PacketSource {
 public:
  // Throws CaptureError when the capture cannot be opened.
  explicit LiveCapture(const std::string& device = "any");
  ~LiveCapture() override;
  LiveCapture(const LiveCapture&) = delete;
  LiveCapture& operator=(const LiveCapture&) = delete;

  int descriptor() const override;
  std::size_t dispatch(const Handler& handler) override;
  Statistics statistics() override;

  // The BPF filter the capture runs in the kernel.
  static std::string filterExpression();

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
};

}  // namespace velmoria::filter
