#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <variant>
#include <vector>

#include "base/Data.hpp"
#include "helpers/HTTPBodyStream.hpp"

namespace zirudeze::storage::detail {

// A multipart body as it goes out: encoded text, and file contents read from disk by each reader. A
// reader opens every file when it is made and fails with inputStreamReadFailed when a file cannot be
// opened or read, holds fewer or more bytes than declared, or was removed before it was read to its end.
// Nothing after a file is handed out before that file was checked, so a body whose file went wrong never
// reaches its closing delimiter.
// Made with make_shared only: its readers keep it alive.
class StreamedFormBody final : public helpers::HTTPBodyStream, public std::enable_shared_from_this<StreamedFormBody> {
 public:
  struct FileContent {
    std::filesystem::path path;
    std::uint64_t length = 0;
  };
  using Segment = std::variant<velmoria::base::Data, FileContent>;

  explicit StreamedFormBody(std::vector<Segment> segments);

  std::uint64_t length() const override { return length_; }
  std::unique_ptr<Reader> open() const override;

 private:
  std::vector<Segment> segments_;
  std::uint64_t length_ = 0;
};

}  // namespace zirudeze::storage::detail
