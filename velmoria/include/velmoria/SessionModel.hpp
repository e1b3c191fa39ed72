#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/Coding.hpp"
#include "base/Date.hpp"

namespace velmoria {

// One row of table `sessions`: a focus session the phone started.
struct SessionModel {
  std::string id;
  std::string userID;
  std::string date;  // as the table holds it; never parsed
  base::Date startedAt;
  std::optional<base::Date> endedAt;
  std::int64_t durationSeconds = 0;
  std::optional<std::string> source;
  std::optional<std::string> modeID;

  // The table's snake-case keys, in this order; absent optionals are left out.
  void encode(base::Encoder& encoder) const;
  static SessionModel decode(const base::Decoder& decoder);

  bool operator==(const SessionModel&) const = default;
};

}  // namespace velmoria
