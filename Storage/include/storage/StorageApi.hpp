#pragma once

#include <memory>

#include "helpers/HTTPClient.hpp"
#include "helpers/HTTPRequest.hpp"
#include "helpers/HTTPResponse.hpp"
#include "storage/StorageClientConfiguration.hpp"

namespace zirudeze::storage {

// The base of every storage REST client: its configuration and HTTP client, fixed at construction.
// Calls block the calling thread and follow the current task's cancellation; any number may run at once.
class StorageApi {
 public:
  // Adds "X-Client-Info" unless the header map has that exact key; with useNewHostname moves the URL
  // onto the storage host. Throws std::invalid_argument "Client initialized with invalid URL: <url>"
  // when a host is to be moved and the URL has none.
  explicit StorageApi(StorageClientConfiguration configuration);
  virtual ~StorageApi() = default;
  StorageApi(const StorageApi&) = delete;
  StorageApi& operator=(const StorageApi&) = delete;

  const StorageClientConfiguration configuration;
  const std::shared_ptr<helpers::HTTPClient> http;

  // Sends the request with the configuration's headers under its own (its names win) and returns a
  // 2xx reply. Other replies throw the service's StorageError, or HTTPError when the body is not one;
  // transport errors pass unchanged.
  helpers::HTTPResponse execute(helpers::HTTPRequest request) const;

 private:
  // The configuration's header map as fields, made once: the configuration never changes.
  const http::HTTPFields configurationFields_;
};

}  // namespace zirudeze::storage
