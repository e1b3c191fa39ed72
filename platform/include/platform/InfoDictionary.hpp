#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace velmoria::platform {

// Larger is no information file of ours.
inline constexpr std::size_t kMaxInfoBytes = 64 * 1024;

// The app's information file could not be used; the text names the file and what is wrong with it.
class InfoDictionaryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The app's information dictionary: a JSON object of settings fixed when the app was built, read from
// Info.json beside the executable or from the file $VELMORIA_INFO names.
class InfoDictionary {
 public:
  InfoDictionary() = default;
  // Throws InfoDictionaryError unless `values` is an object.
  InfoDictionary(nlohmann::json values, std::string source);

  // Reads and parses the file; throws InfoDictionaryError when it is missing, unreadable, too large,
  // not JSON or not an object.
  static InfoDictionary load(const std::filesystem::path& file);
  // $VELMORIA_INFO when set, else Info.json in the executable's folder.
  static std::filesystem::path mainFile();
  // $VELMORIA_INFO when set.
  static std::optional<std::filesystem::path> namedFile();

  // The value under the key, or null when there is none.
  const nlohmann::json* value(std::string_view key) const;
  // The text under the key; throws InfoDictionaryError when the key is missing or not a string.
  std::string string(std::string_view key) const;
  // The text under the key, or nothing when the key is missing; throws when it is not a string.
  std::optional<std::string> optionalString(std::string_view key) const;

  // Where the values came from, for messages.
  const std::string& source() const { return source_; }

 private:
  nlohmann::json values_ = nlohmann::json::object();
  std::string source_ = "Info.json";
};

}  // namespace velmoria::platform
