#include "StorageWire.hpp"
#include "helpers/HTTPFieldsBridging.hpp"
#include "helpers/URLError.hpp"
#include "storage/StorageCoders.hpp"
#include "storage/StorageFileApi.hpp"

namespace zirudeze::storage {
namespace {

using helpers::HTTPRequest;
using helpers::URLError;
using Method = HTTPRequest::Method;

struct SignBody {
  std::int64_t expiresIn;
  std::optional<TransformOptions> transform;

  void encode(velmoria::base::Encoder& encoder) const {
    auto object = encoder.container();
    object.encode("expiresIn", expiresIn);
    object.encodeIfPresent("transform", transform);
  }
};

struct SignManyBody {
  std::int64_t expiresIn;
  std::vector<std::string> paths;

  void encode(velmoria::base::Encoder& encoder) const {
    auto object = encoder.container();
    object.encode("expiresIn", expiresIn);
    object.encode("paths", paths);
  }
};

[[noreturn]] void throwBadURL(std::string url = {}) { throw URLError(URLError::Code::badURL, std::move(url)); }

}  // namespace

velmoria::base::URL StorageFileApi::createSignedURL(const std::string& path, std::int64_t expiresIn,
                                                    const std::optional<std::string>& download,
                                                    const std::optional<TransformOptions>& transform) const {
  velmoria::base::Data body = storagePlainJSONEncoder().encode(SignBody{expiresIn, transform});
  const auto reply =
      execute(HTTPRequest(objectURL("object/sign/" + bucketId + "/" + path), Method::post(), {}, {}, std::move(body)))
          .decoded<detail::SignedURLResponse>(configuration.decoder());
  return makeSignedURL(reply.signedURL, download);
}

std::vector<velmoria::base::URL> StorageFileApi::createSignedURLs(const std::vector<std::string>& paths,
                                                                  std::int64_t expiresIn,
                                                                  const std::optional<std::string>& download) const {
  velmoria::base::Data body = storagePlainJSONEncoder().encode(SignManyBody{expiresIn, paths});
  const auto replies =
      execute(HTTPRequest(objectURL("object/sign/" + bucketId), Method::post(), {}, {}, std::move(body)))
          .decoded<std::vector<detail::SignedURLResponse>>(configuration.decoder());
  std::vector<velmoria::base::URL> urls;
  urls.reserve(replies.size());
  for (const auto& reply : replies) urls.push_back(makeSignedURL(reply.signedURL, download));
  return urls;
}

velmoria::base::URL StorageFileApi::makeSignedURL(const std::string& signedURL,
                                                  const std::optional<std::string>& download) const {
  const auto signedComponents = velmoria::base::URLComponents::parse(signedURL);
  if (!signedComponents) throwBadURL(signedURL);
  velmoria::base::URLComponents components(configuration.url);
  std::string signedPath = signedComponents->percentEncodedPath();
  if (signedPath.empty() || signedPath.front() != '/') signedPath.insert(0, "/");
  components.setPercentEncodedPath(components.percentEncodedPath() + signedPath);
  // The service's items go on exactly as it wrote them; the configured query is dropped.
  components.setPercentEncodedQueryItems(signedComponents->percentEncodedQueryItems());
  auto url = components.url();
  if (!url) throwBadURL(signedURL);
  if (!download) return std::move(*url);
  const velmoria::base::URL withDownload = helpers::appendingQueryItems(*url, {{"download", *download}});
  if (withDownload == *url) throwBadURL(url->absoluteString());
  return withDownload;
}

velmoria::base::Data StorageFileApi::download(
    const std::string& path, const std::optional<TransformOptions>& transform,
    const std::optional<std::vector<velmoria::base::URLQueryItem>>& query) const {
  std::string renderPath = "object";
  std::vector<velmoria::base::URLQueryItem> items;
  if (transform) {
    renderPath = "render/image/authenticated";
    items = transform->queryItems();
  }
  if (query) items.insert(items.end(), query->begin(), query->end());
  return execute(HTTPRequest(objectURL(renderPath + "/" + bucketId + "/" + path), Method::get(), std::move(items)))
      .data;
}

velmoria::base::URL StorageFileApi::getPublicURL(const std::string& path, const std::optional<std::string>& download,
                                                 const std::optional<TransformOptions>& transform) const {
  velmoria::base::URLComponents components(configuration.url);
  components.setPercentEncodedQuery(std::nullopt);
  const auto service = components.url();
  if (!service) throwBadURL(configuration.url.absoluteString());
  std::vector<velmoria::base::URLQueryItem> items;
  if (download) items.push_back({"download", *download});
  std::string renderPath = "object";
  if (transform) {
    renderPath = "render/image";
    const auto transformItems = transform->queryItems();
    items.insert(items.end(), transformItems.begin(), transformItems.end());
  }
  const velmoria::base::URL url = service->appendingPathComponent(renderPath + "/public/" + bucketId + "/" + path);
  if (items.empty()) return url;
  const velmoria::base::URL withItems = helpers::appendingQueryItems(url, items);
  if (withItems == url) throwBadURL(url.absoluteString());
  return withItems;
}

}  // namespace zirudeze::storage
