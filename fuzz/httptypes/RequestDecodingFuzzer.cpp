#include <cstddef>
#include <cstdint>

#include "DecodingRoundTrip.hpp"
#include "httptypes/HTTPRequest.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  zirudeze::fuzzing::checkDecodingRoundTrip<zirudeze::http::HTTPRequest>(bytes, size);
  return 0;
}
