#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Coding.hpp"
#include "base/Date.hpp"
#include "base/URL.hpp"
#include "base/UUID.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::storage {

// Keys are read exactly as the service writes them; absent or null optional keys read as nothing, a
// present value of the wrong type fails.

struct Bucket {
  std::string id;
  std::string name;
  std::string owner;
  bool isPublic = false;  // "public"
  velmoria::base::Date createdAt;
  velmoria::base::Date updatedAt;
  std::optional<std::vector<std::string>> allowedMimeTypes;
  std::optional<std::int64_t> fileSizeLimit;

  void encode(velmoria::base::Encoder& encoder) const;
  static Bucket decode(const velmoria::base::Decoder& decoder);
  friend bool operator==(const Bucket&, const Bucket&) = default;
};

// One entry of a folder listing.
struct FileObject {
  std::string name;
  std::optional<std::string> bucketId;
  std::optional<std::string> owner;
  std::optional<velmoria::base::UUID> id;
  std::optional<velmoria::base::Date> updatedAt;
  std::optional<velmoria::base::Date> createdAt;
  std::optional<velmoria::base::Date> lastAccessedAt;
  std::optional<helpers::JSONObject> metadata;
  std::optional<Bucket> buckets;

  void encode(velmoria::base::Encoder& encoder) const;
  static FileObject decode(const velmoria::base::Decoder& decoder);
  friend bool operator==(const FileObject&, const FileObject&) = default;
};

// The detailed description of one object.
struct FileObjectV2 {
  std::string id;
  std::string version;
  std::string name;
  std::optional<std::string> bucketId;
  std::optional<velmoria::base::Date> updatedAt;
  std::optional<velmoria::base::Date> createdAt;
  std::optional<velmoria::base::Date> lastAccessedAt;
  std::optional<std::int64_t> size;
  std::optional<std::string> cacheControl;
  std::optional<std::string> contentType;
  std::optional<std::string> etag;
  std::optional<velmoria::base::Date> lastModified;
  std::optional<helpers::JSONObject> metadata;

  static FileObjectV2 decode(const velmoria::base::Decoder& decoder);
  friend bool operator==(const FileObjectV2&, const FileObjectV2&) = default;
};

// One entry of a batch signing reply.
struct SignedURL {
  SignedURL(std::optional<std::string> error, velmoria::base::URL signedURL, std::string path);

  std::optional<std::string> error;
  velmoria::base::URL signedURL;
  std::string path;

  static SignedURL decode(const velmoria::base::Decoder& decoder);
  friend bool operator==(const SignedURL&, const SignedURL&) = default;
};

struct SignedUploadURL {
  velmoria::base::URL signedURL;
  std::string path;
  std::string token;
};

struct FileUploadResponse {
  std::string id;
  // The path inside the bucket as the caller gave it.
  std::string path;
  // The object key the service answered.
  std::string fullPath;
};

struct SignedURLUploadResponse {
  std::string path;
  std::string fullPath;
};

}  // namespace zirudeze::storage
