#pragma once

#include <base/Coding.hpp>
#include <httptypes/HTTPField.hpp>
#include <string>

// Header names and reply bodies only the storage operations use.
namespace zirudeze::storage::detail {

const http::HTTPField::Name& xUpsertName();  // "x-upsert"
const http::HTTPField::Name& duplexName();   // "duplex"

// {"Key", "Id"} of an upload or update; copy's and the signed upload's reply lack "Id".
struct UploadReply {
  std::string key;
  std::string id;
  static UploadReply decode(const base::Decoder& decoder);
};
struct KeyReply {
  std::string key;
  static KeyReply decode(const base::Decoder& decoder);
};
// {"url"} of a signed upload URL request.
struct SignedUploadURLReply {
  std::string url;
  static SignedUploadURLReply decode(const base::Decoder& decoder);
};
// {"signedURL"} of a signing request.
struct SignedURLReply {
  std::string signedURL;
  static SignedURLReply decode(const base::Decoder& decoder);
};

// Trims every "/" from both ends and collapses each run of "/" into one.
std::string cleanObjectPath(std::string_view path);

}  // namespace zirudeze::storage::detail
