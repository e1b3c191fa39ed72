#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmoria::localbackend {

// Splits what is read from the terminal into lines. A line longer than the cap is not kept: it comes out
// once, empty and marked too long, when its newline arrives.
class LineReader {
 public:
  static constexpr std::size_t kMaxLine = 4096;

  struct Line {
    std::string text;
    bool tooLong = false;

    bool operator==(const Line&) const = default;
  };

  // The lines these bytes complete.
  std::vector<Line> feed(std::string_view bytes);
  // The unfinished last line once the input has ended; nothing when there is none.
  std::optional<Line> finish();

 private:
  std::string pending_;
  bool overflowed_ = false;
};

}  // namespace velmoria::localbackend
