#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zirudeze::helpers::detail {

// Builds the header list of the final response from the raw lines a transport reports, the way the
// platform presents it: one entry per name, repeats joined with ", ", names that are not tokens dropped.
// Each line costs the same however many fields came before it: a short list is scanned, a long one
// indexed. Not part of the interface: it sits under detail/ so that benchmarks can measure it on its own.
class ResponseHeaderCollector {
 public:
  // One line as received, with or without its CR LF. A status line starts a new response (after a
  // redirect or an interim 1xx), discarding what came before.
  void addLine(std::string_view line);

  // True once the blank line after the headers of a final (non-1xx) response was seen.
  bool complete() const noexcept { return complete_; }
  int statusCode() const noexcept { return status_; }
  const std::vector<std::pair<std::string, std::string>>& fields() const noexcept { return fields_; }
  // Hands the fields over and starts afresh, as if no line had come.
  std::vector<std::pair<std::string, std::string>> takeFields();
  // The Content-Length the server announced; nullopt when absent or malformed.
  std::optional<std::uint64_t> contentLength() const;

 private:
  void add(std::string_view name, std::string_view value);
  // The field of that name (any case), or fields_.size().
  std::size_t find(std::string_view name) const;
  void reset();

  std::vector<std::pair<std::string, std::string>> fields_;
  std::unordered_map<std::string, std::size_t> index_;  // lower-cased name -> its field; long lists only
  int status_ = 0;
  bool complete_ = false;
  bool lastValid_ = false;  // whether a folded continuation line has a field to join
  std::size_t last_ = 0;    // the field the previous line went to
};

bool isHeaderNameToken(std::string_view name) noexcept;

}  // namespace zirudeze::helpers::detail
