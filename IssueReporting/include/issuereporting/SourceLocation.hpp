#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/CodeLocation.hpp"

namespace zirudeze::issuereporting {

// Where a report points. The texts have static storage and are NUL-terminated, so they can be handed
// across the test-support boundary as they are.
struct SourceLocation {
  const char* fileID = "";
  const char* filePath = "";
  std::uint64_t line = 0;
  std::uint64_t column = 0;
};

}  // namespace zirudeze::issuereporting

namespace zirudeze::issuereporting::detail {

template <std::size_t N>
struct FixedString {
  char text[N]{};
  constexpr FixedString(const char (&source)[N]) {
    for (std::size_t i = 0; i < N; ++i) text[i] = source[i];
  }
};

// "Module/stem": the module name, a slash, and the file name without directories or extension.
template <FixedString Module, FixedString File>
struct FileID {
  static constexpr std::size_t capacity = sizeof(Module.text) + sizeof(File.text) + 1;
  static constexpr std::array<char, capacity> make() {
    std::array<char, capacity> out{};
    std::size_t at = 0;
    for (std::size_t i = 0; Module.text[i] != '\0'; ++i) out[at++] = Module.text[i];
    out[at++] = '/';
    std::size_t nameStart = 0;
    std::size_t length = 0;
    while (File.text[length] != '\0') ++length;
    for (std::size_t i = 0; i < length; ++i) {
      if (File.text[i] == '/') nameStart = i + 1;
    }
    std::size_t nameEnd = length;
    for (std::size_t i = length; i > nameStart; --i) {
      if (File.text[i - 1] == '.') {
        nameEnd = i - 1;
        break;
      }
    }
    for (std::size_t i = nameStart; i < nameEnd; ++i) out[at++] = File.text[i];
    out[at] = '\0';
    return out;
  }
  static constexpr std::array<char, capacity> value = make();
};

}  // namespace zirudeze::issuereporting::detail

// Code outside any library (test programs, tools) reports under this module name.
#ifdef VM_MODULE_NAME
#define VM_SOURCE_MODULE VM_MODULE_NAME
#else
#define VM_SOURCE_MODULE "main"
#endif

#define VM_SOURCE_LOCATION()                                                                          \
  (::zirudeze::issuereporting::SourceLocation{                                                        \
      ::zirudeze::issuereporting::detail::FileID<VM_SOURCE_MODULE, __FILE__>::value.data(), __FILE__, \
      static_cast<std::uint64_t>(__LINE__),                                                           \
      static_cast<std::uint64_t>(::velmoria::base::CodeLocation::current().column())})
