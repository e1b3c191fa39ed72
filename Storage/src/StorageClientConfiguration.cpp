#include "storage/StorageClientConfiguration.hpp"

namespace zirudeze::storage {

StorageClientConfiguration::StorageClientConfiguration(velmoria::base::URL url,
                                                       std::map<std::string, std::string> headers,
                                                       velmoria::base::JSONEncoder encoder,
                                                       velmoria::base::JSONDecoder decoder, StorageHTTPSession session,
                                                       std::shared_ptr<const helpers::ZirudezeLogger> logger,
                                                       bool useNewHostname)
    : url(std::move(url)),
      headers(std::move(headers)),
      encoder_(std::move(encoder)),
      decoder_(std::move(decoder)),
      session_(std::move(session)),
      logger_(std::move(logger)),
      useNewHostname_(useNewHostname) {}

StorageClientConfiguration::StorageClientConfiguration(velmoria::base::URL url,
                                                       std::map<std::string, std::string> headers,
                                                       velmoria::base::JSONEncoder encoder,
                                                       velmoria::base::JSONDecoder decoder, StorageHTTPSession session)
    : StorageClientConfiguration(std::move(url), std::move(headers), std::move(encoder), std::move(decoder),
                                 std::move(session), nullptr, false) {}

}  // namespace zirudeze::storage
