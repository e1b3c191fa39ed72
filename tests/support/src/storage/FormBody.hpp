#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmoria::testsupport::storage {

// One part of a multipart/form-data body, as far as the fake service needs to know it.
struct FormPart {
  std::optional<std::string> name;
  std::optional<std::string> fileName;
  std::optional<std::string> contentType;
  std::string content;
};

// The boundary parameter of a multipart Content-Type value.
std::optional<std::string> boundaryOf(std::string_view contentType);
// The parts between the delimiters; nothing when the body is not laid out as multipart.
std::optional<std::vector<FormPart>> readFormBody(std::string_view body, std::string_view boundary);

}  // namespace velmoria::testsupport::storage
