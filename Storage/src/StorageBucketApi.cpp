#include "storage/StorageBucketApi.hpp"

namespace zirudeze::storage {
namespace {

using helpers::HTTPRequest;
using Method = HTTPRequest::Method;

// The body of create and update; its field names follow the configuration's key strategy.
struct BucketParameters {
  std::string id;
  std::string name;
  bool public_;
  std::optional<std::string> fileSizeLimit;
  std::optional<std::vector<std::string>> allowedMimeTypes;

  void encode(velmoria::base::Encoder& encoder) const {
    auto object = encoder.container();
    object.encode("id", id);
    object.encode("name", name);
    object.encode("public", public_);
    object.encodeIfPresent("fileSizeLimit", fileSizeLimit);
    object.encodeIfPresent("allowedMimeTypes", allowedMimeTypes);
  }
};

BucketParameters parameters(const std::string& id, const BucketOptions& options) {
  return {id, id, options.public_, options.fileSizeLimit, options.allowedMimeTypes};
}

}  // namespace

std::vector<Bucket> StorageBucketApi::listBuckets() const {
  return execute(HTTPRequest(configuration.url.appendingPathComponent("bucket"), Method::get()))
      .decoded<std::vector<Bucket>>(configuration.decoder());
}

Bucket StorageBucketApi::getBucket(const std::string& id) const {
  return execute(HTTPRequest(configuration.url.appendingPathComponent("bucket/" + id), Method::get()))
      .decoded<Bucket>(configuration.decoder());
}

void StorageBucketApi::createBucket(const std::string& id, const BucketOptions& options) const {
  velmoria::base::Data body = configuration.encoder().encode(parameters(id, options));
  execute(HTTPRequest(configuration.url.appendingPathComponent("bucket"), Method::post(), {}, {}, std::move(body)));
}

void StorageBucketApi::updateBucket(const std::string& id, const BucketOptions& options) const {
  velmoria::base::Data body = configuration.encoder().encode(parameters(id, options));
  execute(
      HTTPRequest(configuration.url.appendingPathComponent("bucket/" + id), Method::put(), {}, {}, std::move(body)));
}

void StorageBucketApi::emptyBucket(const std::string& id) const {
  execute(HTTPRequest(configuration.url.appendingPathComponent("bucket/" + id + "/empty"), Method::post()));
}

void StorageBucketApi::deleteBucket(const std::string& id) const {
  execute(HTTPRequest(configuration.url.appendingPathComponent("bucket/" + id), Method::delete_()));
}

}  // namespace zirudeze::storage
