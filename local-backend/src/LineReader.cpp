#include "localbackend/LineReader.hpp"

namespace velmoria::localbackend {

std::vector<LineReader::Line> LineReader::feed(std::string_view bytes) {
  std::vector<Line> lines;
  while (!bytes.empty()) {
    const auto newline = bytes.find('\n');
    const std::string_view part = bytes.substr(0, newline);
    if (!overflowed_) {
      if (pending_.size() + part.size() > kMaxLine) {
        overflowed_ = true;
        pending_.clear();
      } else {
        pending_.append(part);
      }
    }
    if (newline == std::string_view::npos) break;
    lines.push_back(overflowed_ ? Line{{}, true} : Line{std::move(pending_), false});
    pending_.clear();
    overflowed_ = false;
    bytes.remove_prefix(newline + 1);
  }
  return lines;
}

std::optional<LineReader::Line> LineReader::finish() {
  if (pending_.empty() && !overflowed_) return std::nullopt;
  Line last = overflowed_ ? Line{{}, true} : Line{std::move(pending_), false};
  pending_.clear();
  overflowed_ = false;
  return last;
}

}  // namespace velmoria::localbackend
