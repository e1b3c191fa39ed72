#include "FormBody.hpp"

#include <algorithm>
#include <cctype>

namespace velmoria::testsupport::storage {
namespace {

std::string lowercased(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// The quoted (or bare) value of `key=` inside a header value such as a Content-Disposition.
std::optional<std::string> parameter(std::string_view value, std::string_view key) {
  const std::string lower = lowercased(value);
  const std::string wanted = std::string(key) + "=";
  for (std::size_t at = lower.find(wanted); at != std::string::npos; at = lower.find(wanted, at + 1)) {
    if (at > 0 && lower[at - 1] != ' ' && lower[at - 1] != ';') continue;
    std::size_t start = at + wanted.size();
    if (start < value.size() && value[start] == '"') {
      const std::size_t end = value.find('"', start + 1);
      if (end == std::string_view::npos) return std::nullopt;
      return std::string(value.substr(start + 1, end - start - 1));
    }
    const std::size_t end = std::min(value.find(';', start), value.size());
    return std::string(value.substr(start, end - start));
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> boundaryOf(std::string_view contentType) {
  if (lowercased(contentType).rfind("multipart/form-data", 0) != 0) return std::nullopt;
  return parameter(contentType, "boundary");
}

std::optional<std::vector<FormPart>> readFormBody(std::string_view body, std::string_view boundary) {
  const std::string delimiter = "--" + std::string(boundary);
  if (body.substr(0, delimiter.size()) != delimiter) return std::nullopt;
  std::vector<FormPart> parts;
  std::size_t at = delimiter.size();
  for (;;) {
    if (body.substr(at, 2) == "--") return parts;
    if (body.substr(at, 2) != "\r\n") return std::nullopt;
    at += 2;
    FormPart part;
    std::string_view headers;
    std::size_t contentStart = at + 2;
    if (body.substr(at, 2) != "\r\n") {
      const std::size_t headersEnd = body.find("\r\n\r\n", at);
      if (headersEnd == std::string_view::npos) return std::nullopt;
      headers = body.substr(at, headersEnd - at);
      contentStart = headersEnd + 4;
    }
    while (!headers.empty()) {
      const std::size_t lineEnd = std::min(headers.find("\r\n"), headers.size());
      const std::string_view line = headers.substr(0, lineEnd);
      const std::size_t colon = line.find(':');
      if (colon != std::string_view::npos) {
        const std::string name = lowercased(line.substr(0, colon));
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        if (name == "content-disposition") {
          part.name = parameter(value, "name");
          part.fileName = parameter(value, "filename");
        } else if (name == "content-type") {
          part.contentType = std::string(value);
        }
      }
      headers.remove_prefix(std::min(lineEnd + 2, headers.size()));
    }
    at = contentStart;
    const std::size_t end = body.find("\r\n" + delimiter, at);
    if (end == std::string_view::npos) return std::nullopt;
    part.content = std::string(body.substr(at, end - at));
    parts.push_back(std::move(part));
    at = end + 2 + delimiter.size();
  }
}

}  // namespace velmoria::testsupport::storage
