#include "storage/StorageRecords.hpp"

namespace zirudeze::storage {

void Bucket::encode(velmoria::base::Encoder& encoder) const {
  auto object = encoder.exactKeyContainer();
  object.encode("id", id);
  object.encode("name", name);
  object.encode("owner", owner);
  object.encode("public", isPublic);
  object.encode("created_at", createdAt);
  object.encode("updated_at", updatedAt);
  object.encodeIfPresent("allowed_mime_types", allowedMimeTypes);
  object.encodeIfPresent("file_size_limit", fileSizeLimit);
}

Bucket Bucket::decode(const velmoria::base::Decoder& decoder) {
  const auto object = decoder.exactKeyContainer();
  Bucket bucket;
  bucket.id = object.decode<std::string>("id");
  bucket.name = object.decode<std::string>("name");
  bucket.owner = object.decode<std::string>("owner");
  bucket.isPublic = object.decode<bool>("public");
  bucket.createdAt = object.decode<velmoria::base::Date>("created_at");
  bucket.updatedAt = object.decode<velmoria::base::Date>("updated_at");
  bucket.allowedMimeTypes = object.decodeIfPresent<std::vector<std::string>>("allowed_mime_types");
  bucket.fileSizeLimit = object.decodeIfPresent<std::int64_t>("file_size_limit");
  return bucket;
}

void FileObject::encode(velmoria::base::Encoder& encoder) const {
  auto object = encoder.exactKeyContainer();
  object.encode("name", name);
  object.encodeIfPresent("bucket_id", bucketId);
  object.encodeIfPresent("owner", owner);
  object.encodeIfPresent("id", id);
  object.encodeIfPresent("updated_at", updatedAt);
  object.encodeIfPresent("created_at", createdAt);
  object.encodeIfPresent("last_accessed_at", lastAccessedAt);
  object.encodeIfPresent("metadata", metadata);
  object.encodeIfPresent("buckets", buckets);
}

FileObject FileObject::decode(const velmoria::base::Decoder& decoder) {
  const auto object = decoder.exactKeyContainer();
  FileObject file;
  file.name = object.decode<std::string>("name");
  file.bucketId = object.decodeIfPresent<std::string>("bucket_id");
  file.owner = object.decodeIfPresent<std::string>("owner");
  file.id = object.decodeIfPresent<velmoria::base::UUID>("id");
  file.updatedAt = object.decodeIfPresent<velmoria::base::Date>("updated_at");
  file.createdAt = object.decodeIfPresent<velmoria::base::Date>("created_at");
  file.lastAccessedAt = object.decodeIfPresent<velmoria::base::Date>("last_accessed_at");
  file.metadata = object.decodeIfPresent<helpers::JSONObject>("metadata");
  file.buckets = object.decodeIfPresent<Bucket>("buckets");
  return file;
}

FileObjectV2 FileObjectV2::decode(const velmoria::base::Decoder& decoder) {
  const auto object = decoder.exactKeyContainer();
  FileObjectV2 file;
  file.id = object.decode<std::string>("id");
  file.version = object.decode<std::string>("version");
  file.name = object.decode<std::string>("name");
  file.bucketId = object.decodeIfPresent<std::string>("bucket_id");
  file.updatedAt = object.decodeIfPresent<velmoria::base::Date>("updated_at");
  file.createdAt = object.decodeIfPresent<velmoria::base::Date>("created_at");
  file.lastAccessedAt = object.decodeIfPresent<velmoria::base::Date>("last_accessed_at");
  file.size = object.decodeIfPresent<std::int64_t>("size");
  file.cacheControl = object.decodeIfPresent<std::string>("cache_control");
  file.contentType = object.decodeIfPresent<std::string>("content_type");
  file.etag = object.decodeIfPresent<std::string>("etag");
  file.lastModified = object.decodeIfPresent<velmoria::base::Date>("last_modified");
  file.metadata = object.decodeIfPresent<helpers::JSONObject>("metadata");
  return file;
}

SignedURL::SignedURL(std::optional<std::string> error, velmoria::base::URL signedURL, std::string path)
    : error(std::move(error)), signedURL(std::move(signedURL)), path(std::move(path)) {}

SignedURL SignedURL::decode(const velmoria::base::Decoder& decoder) {
  const auto object = decoder.exactKeyContainer();
  return SignedURL(object.decodeIfPresent<std::string>("error"), object.decode<velmoria::base::URL>("signedURL"),
                   object.decode<std::string>("path"));
}

}  // namespace zirudeze::storage
