#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmoria::filter::testing {

inline std::filesystem::path testDataFolder() {
  const char* folder = std::getenv("VELMORIA_FILTER_TEST_DATA");
  return folder != nullptr ? std::filesystem::path(folder) : std::filesystem::path(TEST_DATA_FALLBACK);
}

inline std::vector<std::uint8_t> readTestData(const std::string& name) {
  std::ifstream in(testDataFolder() / name, std::ios::binary);
  if (!in) throw std::runtime_error("missing test data " + name);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// ClientHellos recorded from real clients on loopback, with the name each one sent.
struct RecordedHello {
  const char* file;
  const char* serverName;
};

inline const std::vector<RecordedHello>& recordedHellos() {
  static const std::vector<RecordedHello> hellos{
      {"hello-openssl-tls13.bin", "www.blocked.example"},
      {"hello-openssl-tls12.bin", "news.allowed.example"},
      {"hello-curl.bin", "video.streaming.example"},
      {"hello-chromium.bin", "www.shop.blocked.example"},
      {"hello-chromium-name-after-key-share.bin", "cdn.video.example"},
  };
  return hellos;
}

}  // namespace velmoria::filter::testing
