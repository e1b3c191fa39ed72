#include "base/Data.hpp"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const base::Data data(bytes, bytes + size);
  const std::string text = base::stringFromData(data);
  if (base::dataFromString(text) != data) __builtin_trap();
  return 0;
}
