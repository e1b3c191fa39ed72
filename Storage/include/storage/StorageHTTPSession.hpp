#pragma once

#include <functional>
#include <memory>

#include "base/Data.hpp"
#include "helpers/HTTPClient.hpp"
#include "helpers/HTTPTransport.hpp"

namespace zirudeze::storage {

// The transport of the storage clients. Both functions must be callable from any thread at once.
struct StorageHTTPSession {
  using Fetch = helpers::FetchOperation;
  using Upload = std::function<helpers::FetchResult(const helpers::URLRequest&, const velmoria::base::Data&)>;

  StorageHTTPSession(Fetch fetch, Upload upload);
  // Over a transport, which the session keeps alive. Each call follows the calling task's cancellation
  // and passes the transport's failures on unchanged.
  explicit StorageHTTPSession(std::shared_ptr<helpers::HTTPTransport> transport);

  Fetch fetch;
  // Carried for callers: the storage operations send every request, uploads included, through fetch.
  Upload upload;
};

}  // namespace zirudeze::storage
