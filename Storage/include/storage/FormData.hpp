#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Data.hpp"

namespace zirudeze::storage {

// One part of the older in-memory form builder.
struct File {
  std::string name;
  velmoria::base::Data data;
  std::optional<std::string> fileName;
  std::optional<std::string> contentType;

  [[deprecated("use data")]] velmoria::base::Data& fileData() noexcept { return data; }
  [[deprecated("use data")]] const velmoria::base::Data& fileData() const noexcept { return data; }

  friend bool operator==(const File&, const File&) = default;
};

// The older form builder: in-memory parts only. A '"' in a file name is written as "_".
class FormData {
 public:
  explicit FormData(std::string boundary);

  std::vector<File> files;
  std::string boundary;

  void append(File file);
  std::string contentType() const;
  // The whole body; with no files only the closing delimiter.
  velmoria::base::Data data() const;
};

}  // namespace zirudeze::storage

template <>
struct std::hash<zirudeze::storage::File> {
  std::size_t operator()(const zirudeze::storage::File& file) const noexcept;
};
