#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace zirudeze::helpers {

// A request body produced piece by piece while it is sent, of a length known beforehand, so that a large
// upload never sits in memory whole. Each send (and each resend of one) reads it from its first byte
// through a reader of its own; one stream may serve several sends, also at once.
class HTTPBodyStream {
 public:
  class Reader {
   public:
    virtual ~Reader() = default;
    // Fills the front of `buffer` and returns how much it filled: 0 only once the whole length was read.
    // Throws when the body cannot be produced as announced; the send then fails with that error.
    virtual std::size_t read(std::span<std::uint8_t> buffer) = 0;
  };

  virtual ~HTTPBodyStream() = default;
  // The exact number of bytes every reader delivers.
  virtual std::uint64_t length() const = 0;
  // A reader at the first byte. Throws when the body cannot be produced at all.
  virtual std::unique_ptr<Reader> open() const = 0;
};

}  // namespace zirudeze::helpers
