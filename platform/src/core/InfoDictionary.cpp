#include "platform/InfoDictionary.hpp"

#include <cstdlib>
#include <system_error>

#include "base/RegularFile.hpp"

namespace velmoria::platform {

InfoDictionary::InfoDictionary(nlohmann::json values, std::string source)
    : values_(std::move(values)), source_(std::move(source)) {
  if (!values_.is_object()) throw InfoDictionaryError(source_ + ": is not a JSON object");
}

InfoDictionary InfoDictionary::load(const std::filesystem::path& file) {
  std::optional<std::string> text;
  try {
    text = base::readRegularFile(file, kMaxInfoBytes);
  } catch (const std::system_error& error) {
    throw InfoDictionaryError(file.string() + ": cannot be read (" + error.code().message() + ")");
  }
  if (!text) throw InfoDictionaryError(file.string() + ": no such file");
  auto parsed = nlohmann::json::parse(*text, nullptr, /*allow_exceptions=*/false);
  if (parsed.is_discarded()) throw InfoDictionaryError(file.string() + ": is not valid JSON");
  return InfoDictionary(std::move(parsed), file.string());
}

std::optional<std::filesystem::path> InfoDictionary::namedFile() {
  if (const char* named = std::getenv("VELMORIA_INFO"); named != nullptr && *named != '\0') return named;
  return std::nullopt;
}

std::filesystem::path InfoDictionary::mainFile() {
  if (auto named = namedFile()) return *named;
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return (error ? std::filesystem::path(".") : self.parent_path()) / "Info.json";
}

const nlohmann::json* InfoDictionary::value(std::string_view key) const {
  const auto found = values_.find(std::string(key));
  return found == values_.end() ? nullptr : &*found;
}

std::optional<std::string> InfoDictionary::optionalString(std::string_view key) const {
  const nlohmann::json* found = value(key);
  if (found == nullptr) return std::nullopt;
  if (!found->is_string()) throw InfoDictionaryError(source_ + ": " + std::string(key) + " is not a string");
  return found->get<std::string>();
}

std::string InfoDictionary::string(std::string_view key) const {
  auto text = optionalString(key);
  if (!text) throw InfoDictionaryError(source_ + ": " + std::string(key) + " is missing");
  return std::move(*text);
}

}  // namespace velmoria::platform
