#pragma once

#include <string>

#include "base/Coding.hpp"
#include "httptypes/HTTPField.hpp"

// Header names and reply bodies only the storage operations use.
namespace zirudeze::storage::detail {

const http::HTTPField::Name& xUpsertName();  // "x-upsert"
const http::HTTPField::Name& duplexName();   // "duplex"

// {"Key", "Id"} of an upload or update; copy's and the signed upload's reply lack "Id".
struct UploadResponse {
  std::string key;
  std::string id;
  static UploadResponse decode(const velmoria::base::Decoder& decoder);
};
struct KeyOnlyUploadResponse {
  std::string key;
  static KeyOnlyUploadResponse decode(const velmoria::base::Decoder& decoder);
};
// {"url"} of a signed upload URL request.
struct SignedUploadURLReply {
  std::string url;
  static SignedUploadURLReply decode(const velmoria::base::Decoder& decoder);
};
// {"signedURL"} of a signing request.
struct SignedURLResponse {
  std::string signedURL;
  static SignedURLResponse decode(const velmoria::base::Decoder& decoder);
};

// Trims every "/" from both ends and collapses each run of "/" into one.
std::string cleanObjectPath(std::string_view path);

}  // namespace zirudeze::storage::detail
