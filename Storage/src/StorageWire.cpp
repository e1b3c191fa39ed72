#include "StorageWire.hpp"

namespace zirudeze::storage::detail {

const http::HTTPField::Name& xUpsertName() {
  static const http::HTTPField::Name name = *http::HTTPField::Name::make("x-upsert");
  return name;
}

const http::HTTPField::Name& duplexName() {
  static const http::HTTPField::Name name = *http::HTTPField::Name::make("duplex");
  return name;
}

UploadResponse UploadResponse::decode(const velmoria::base::Decoder& decoder) {
  const auto object = decoder.exactKeyContainer();
  return {object.decode<std::string>("Key"), object.decode<std::string>("Id")};
}

KeyOnlyUploadResponse KeyOnlyUploadResponse::decode(const velmoria::base::Decoder& decoder) {
  return {decoder.exactKeyContainer().decode<std::string>("Key")};
}

SignedUploadURLReply SignedUploadURLReply::decode(const velmoria::base::Decoder& decoder) {
  return {decoder.exactKeyContainer().decode<std::string>("url")};
}

SignedURLResponse SignedURLResponse::decode(const velmoria::base::Decoder& decoder) {
  return {decoder.exactKeyContainer().decode<std::string>("signedURL")};
}

std::string cleanObjectPath(std::string_view path) {
  const std::size_t first = path.find_first_not_of('/');
  if (first == std::string_view::npos) return {};
  path = path.substr(first, path.find_last_not_of('/') - first + 1);
  std::string cleaned;
  cleaned.reserve(path.size());
  for (const char c : path) {
    if (c == '/' && !cleaned.empty() && cleaned.back() == '/') continue;
    cleaned.push_back(c);
  }
  return cleaned;
}

}  // namespace zirudeze::storage::detail
