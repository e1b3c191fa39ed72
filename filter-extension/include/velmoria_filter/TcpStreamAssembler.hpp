#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velmoria::filter {

// Puts the first `limit` bytes of one direction of a TCP connection back in order from its segments,
// whatever order, overlap or retransmission they arrive in. The first copy of a byte wins.
class TcpStreamAssembler {
 public:
  explicit TcpStreamAssembler(std::size_t limit);

  // The sequence number of the first data byte (the SYN's sequence number plus one). Without it the
  // first segment seen starts the stream.
  void setFirstSequence(std::uint32_t sequence);

  void addSegment(std::uint32_t sequence, std::span<const std::uint8_t> payload);

  // The bytes from the start of the stream up to the first gap.
  std::span<const std::uint8_t> contiguousBytes() const;

  bool isFull() const { return contiguous_ == limit_; }

 private:
  std::size_t limit_;
  std::optional<std::uint32_t> first_;
  std::vector<std::uint8_t> bytes_;
  std::vector<bool> filled_;
  std::size_t contiguous_ = 0;
};

}  // namespace velmoria::filter
