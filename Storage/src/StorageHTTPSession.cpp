#include "storage/StorageHTTPSession.hpp"

#include "concurrency/CurrentTask.hpp"

namespace zirudeze::storage {

StorageHTTPSession::StorageHTTPSession(Fetch fetch, Upload upload)
    : fetch(std::move(fetch)), upload(std::move(upload)) {}

StorageHTTPSession::StorageHTTPSession(std::shared_ptr<helpers::HTTPTransport> transport)
    : fetch(helpers::HTTPClient::fetchOver(transport)),
      upload([transport](const helpers::URLRequest& request, const velmoria::base::Data& body) {
        return transport->upload(request, body, concurrency::currentStopToken());
      }) {}

}  // namespace zirudeze::storage
