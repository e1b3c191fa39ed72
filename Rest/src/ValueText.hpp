#pragma once

#include <string>
#include <string_view>

namespace zirudeze::rest::detail {

enum class WholeNumbers {
  // "2.0": a filter operand keeps saying it is a floating-point number.
  pointZero,
  // "2": a function parameter, which the service hands to the function as text, stays readable as an integer.
  asIntegers,
};

// The shortest decimal that reads back as the same double: plain digits from 1e-6 up to below 1e16 (and
// zero), exponent form ("1e+16", "1e-07") outside; "nan", "inf" and "-inf" for the rest.
std::string decimalText(double value, WholeNumbers wholeNumbers);

// One element of a list ("in.(...)") or array ("{...}") as the service's list syntax reads it. Text that
// holds a separator, a bracket, a quote, a backslash or white space, that is empty, or that spells NULL is
// put in double quotes with '"' and '\' escaped by a backslash; other text stays as it is.
std::string listElementText(std::string_view text);

}  // namespace zirudeze::rest::detail
