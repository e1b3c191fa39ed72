#include "httptypes/HTTPFields.hpp"

#include "DecodingRoundTrip.hpp"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  fuzzing::checkDecodingRoundTrip<zirudeze::http::HTTPFields>(bytes, size);
  return 0;
}
