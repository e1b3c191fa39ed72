#pragma once

#include <string>
#include <string_view>

#include "httptypes/HTTPField.hpp"

namespace zirudeze::http::detail {

[[nodiscard]] inline bool isThreeDigitStatus(std::string_view value) noexcept {
  return value.size() == 3 && value[0] >= '0' && value[0] <= '9' && value[1] >= '0' && value[1] <= '9' &&
         value[2] >= '0' && value[2] <= '9';
}

[[nodiscard]] inline int statusCodeOf(std::string_view digits) noexcept {
  return (digits[0] - '0') * 100 + (digits[1] - '0') * 10 + (digits[2] - '0');
}

// Code 5 gives "005".
[[nodiscard]] inline std::string threeDigits(int code) {
  return {static_cast<char>('0' + code / 100), static_cast<char>('0' + code / 10 % 10),
          static_cast<char>('0' + code % 10)};
}

}  // namespace zirudeze::http::detail
