#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zirudeze::storage {

// The media type registered for a file name extension.
class MimeTypes {
 public:
  virtual ~MimeTypes() = default;
  // Nothing for an extension the table does not list.
  virtual std::optional<std::string> mimeType(std::string_view extension) const = 0;

  // The system's table in /etc/mime.types, read once on first use; empty when it cannot be read.
  static std::shared_ptr<const MimeTypes> system();
};

// A table of extensions to types. Extensions compare without regard to case; an extension listed
// twice keeps its first type.
class MimeTypeTable final : public MimeTypes {
 public:
  // (type, extension) pairs in order of precedence.
  explicit MimeTypeTable(const std::vector<std::pair<std::string, std::string>>& entries);

  // Text in the mime.types format: a type, then its extensions, per line; "#" starts a comment.
  static MimeTypeTable parse(std::string_view text);
  static MimeTypeTable read(const std::filesystem::path& file);

  std::optional<std::string> mimeType(std::string_view extension) const override;
  std::size_t count() const noexcept { return types_.size(); }

 private:
  MimeTypeTable() = default;
  void add(std::string_view type, std::string_view extension);

  std::unordered_map<std::string, std::string> types_;
};

// The type for an extension, "application/octet-stream" when there is none.
std::string mimeTypeForPathExtension(std::string_view extension, const MimeTypes& types = *MimeTypes::system());

}  // namespace zirudeze::storage
