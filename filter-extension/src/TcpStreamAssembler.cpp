#include "velmoria_filter/TcpStreamAssembler.hpp"

#include <algorithm>

namespace velmoria::filter {

TcpStreamAssembler::TcpStreamAssembler(std::size_t limit) : limit_(limit) {}

void TcpStreamAssembler::setFirstSequence(std::uint32_t sequence) {
  if (!first_) first_ = sequence;
}

void TcpStreamAssembler::addSegment(std::uint32_t sequence, std::span<const std::uint8_t> payload) {
  if (payload.empty()) return;
  if (!first_) first_ = sequence;
  // Offsets are taken modulo 2^32 and read as signed, so streams that wrap the sequence space work
  // and segments from before the start are cut.
  auto offset = static_cast<std::int64_t>(static_cast<std::int32_t>(sequence - *first_));
  if (offset < 0) {
    const auto skip = static_cast<std::size_t>(-offset);
    if (skip >= payload.size()) return;
    payload = payload.subspan(skip);
    offset = 0;
  }
  const auto start = static_cast<std::size_t>(offset);
  if (start >= limit_) return;
  const auto length = std::min(payload.size(), limit_ - start);
  if (bytes_.empty()) {
    bytes_.resize(limit_);
    filled_.resize(limit_, false);
  }
  for (std::size_t i = 0; i < length; ++i) {
    if (!filled_[start + i]) {
      bytes_[start + i] = payload[i];
      filled_[start + i] = true;
    }
  }
  while (contiguous_ < limit_ && filled_[contiguous_]) ++contiguous_;
}

std::span<const std::uint8_t> TcpStreamAssembler::contiguousBytes() const {
  return std::span<const std::uint8_t>(bytes_.data(), contiguous_);
}

}  // namespace velmoria::filter
