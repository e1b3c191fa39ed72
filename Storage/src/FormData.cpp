#include "storage/FormData.hpp"

#include <algorithm>
#include <string_view>

#include "BodyWriting.hpp"
#include "storage/MultipartFormData.hpp"

namespace zirudeze::storage {

using detail::appendText;

FormData::FormData(std::string boundary) : boundary(std::move(boundary)) {}

void FormData::append(File file) { files.push_back(std::move(file)); }

std::string FormData::contentType() const { return "multipart/form-data; boundary=" + boundary; }

velmoria::base::Data FormData::data() const {
  velmoria::base::Data body;
  for (const auto& file : files) {
    std::optional<std::string> fileName = file.fileName;
    if (fileName) std::replace(fileName->begin(), fileName->end(), '"', '_');
    appendText(body, "--" + boundary + "\r\n");
    // The same header lines the current builder writes, so a name cannot break out of its quotes either.
    detail::appendHeaderLines(body, contentHeaders(file.name, fileName, file.contentType));
    body.insert(body.end(), file.data.begin(), file.data.end());
    appendText(body, "\r\n");
  }
  appendText(body, "--" + boundary + "--\r\n");
  return body;
}

}  // namespace zirudeze::storage

std::size_t std::hash<zirudeze::storage::File>::operator()(const zirudeze::storage::File& file) const noexcept {
  std::size_t seed = std::hash<std::string>{}(file.name);
  const auto combine = [&seed](std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
  };
  combine(std::hash<std::string_view>{}(
      std::string_view(reinterpret_cast<const char*>(file.data.data()), file.data.size())));
  combine(file.fileName ? std::hash<std::string>{}(*file.fileName) : 0x51ed);
  combine(file.contentType ? std::hash<std::string>{}(*file.contentType) : 0x51ee);
  return seed;
}
