#pragma once

#include <map>
#include <memory>
#include <string>

#include "base/URL.hpp"
#include "base/coding/JSONCoders.hpp"
#include "helpers/ZirudezeLogger.hpp"
#include "storage/StorageHTTPSession.hpp"
#include "storage/StorageHostRewrite.hpp"

namespace zirudeze::storage {

// What every storage API object is built from. A plain value: an object keeps the copy it was made
// with, so changing `url` or `headers` here later never reaches it.
class StorageClientConfiguration {
 public:
  StorageClientConfiguration(velmoria::base::URL url, std::map<std::string, std::string> headers,
                             velmoria::base::JSONEncoder encoder, velmoria::base::JSONDecoder decoder,
                             StorageHTTPSession session, std::shared_ptr<const helpers::ZirudezeLogger> logger,
                             bool useNewHostname);
  // No logger, useNewHostname false.
  [[deprecated("pass a logger and useNewHostname too")]] StorageClientConfiguration(
      velmoria::base::URL url, std::map<std::string, std::string> headers, velmoria::base::JSONEncoder encoder,
      velmoria::base::JSONDecoder decoder, StorageHTTPSession session);

  // The service base URL every path is appended to.
  velmoria::base::URL url;
  // Sent with every request.
  std::map<std::string, std::string> headers;

  // Encodes the bucket, move, copy and remove bodies.
  const velmoria::base::JSONEncoder& encoder() const noexcept { return encoder_; }
  // Decodes every reply.
  const velmoria::base::JSONDecoder& decoder() const noexcept { return decoder_; }
  const StorageHTTPSession& session() const noexcept { return session_; }
  const std::shared_ptr<const helpers::ZirudezeLogger>& logger() const noexcept { return logger_; }
  bool useNewHostname() const noexcept { return useNewHostname_; }

  // Consulted only with useNewHostname; empty unless the creator supplies the deployment's values.
  StorageHostRewrite hostRewrite;

 private:
  velmoria::base::JSONEncoder encoder_;
  velmoria::base::JSONDecoder decoder_;
  StorageHTTPSession session_;
  std::shared_ptr<const helpers::ZirudezeLogger> logger_;
  bool useNewHostname_ = false;
};

}  // namespace zirudeze::storage
