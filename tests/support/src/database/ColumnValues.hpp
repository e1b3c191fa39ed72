#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "testsupport/FakeDatabaseTypes.hpp"

namespace velmoria::testsupport::database {

// The stored form of a written value for the column (null stays null). Throws FakeDatabaseError 22P02.
Json storedValue(const FakeColumn& column, const Json& value);
// A filter operand read as a value of the type. Throws FakeDatabaseError 22P02.
Json operandValue(std::string_view text, ColumnType type);
// Order of two non-null values of one type: negative, zero or positive.
int compareValues(const Json& a, const Json& b, ColumnType type);
// The type a value of an untyped row (a function result) is compared as.
ColumnType inferredType(const Json& value);

// Microseconds since 1970 for "YYYY-MM-DD[( |T)HH:MM[:SS[.fraction]]][Z|(+|-)HH[[:]MM]]" (no zone: UTC).
std::optional<std::int64_t> parseTimestamp(std::string_view text);
// "YYYY-MM-DDTHH:MM:SS[.ffffff]+00:00", the fraction without trailing zeros.
std::string formatTimestamp(std::int64_t microseconds);

// SQL LIKE: "%" (or "*") any run, "_" one character, "\" escapes the next.
bool likeMatches(std::string_view text, std::string_view pattern, bool ignoringCase);

}  // namespace velmoria::testsupport::database
