#include "storage/MimeTypes.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace zirudeze::storage {
namespace {

constexpr std::string_view kFallbackType = "application/octet-stream";
constexpr std::string_view kBlanks = " \t\r\v\f";

std::string lowercased(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
  return out;
}

// The blank-separated words of one line, up to a "#".
std::vector<std::string_view> words(std::string_view line) {
  line = line.substr(0, line.find('#'));
  std::vector<std::string_view> out;
  for (std::size_t at = line.find_first_not_of(kBlanks); at != std::string_view::npos;
       at = line.find_first_not_of(kBlanks, at)) {
    const std::size_t end = std::min(line.find_first_of(kBlanks, at), line.size());
    out.push_back(line.substr(at, end - at));
    at = end;
  }
  return out;
}

}  // namespace

std::shared_ptr<const MimeTypes> MimeTypes::system() {
  static const std::shared_ptr<const MimeTypes> table =
      std::make_shared<const MimeTypeTable>(MimeTypeTable::read("/etc/mime.types"));
  return table;
}

MimeTypeTable::MimeTypeTable(const std::vector<std::pair<std::string, std::string>>& entries) {
  for (const auto& [type, extension] : entries) add(type, extension);
}

void MimeTypeTable::add(std::string_view type, std::string_view extension) {
  if (type.empty() || extension.empty()) return;
  types_.try_emplace(lowercased(extension), type);
}

MimeTypeTable MimeTypeTable::parse(std::string_view text) {
  MimeTypeTable table;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const auto fields = words(text.substr(0, end));
    // A type is "major/minor"; a line holding anything else is not an entry.
    if (fields.size() > 1 && fields.front().find('/') != std::string_view::npos) {
      for (std::size_t i = 1; i < fields.size(); ++i) table.add(fields.front(), fields[i]);
    }
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return table;
}

MimeTypeTable MimeTypeTable::read(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return MimeTypeTable();
  std::ostringstream text;
  text << in.rdbuf();
  return parse(text.str());
}

std::optional<std::string> MimeTypeTable::mimeType(std::string_view extension) const {
  const auto found = types_.find(lowercased(extension));
  if (found == types_.end()) return std::nullopt;
  return found->second;
}

std::string mimeTypeForPathExtension(std::string_view extension, const MimeTypes& types) {
  if (extension.empty()) return std::string(kFallbackType);
  return types.mimeType(extension).value_or(std::string(kFallbackType));
}

}  // namespace zirudeze::storage
