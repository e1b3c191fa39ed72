#pragma once

#include <memory>

#include "base/Data.hpp"
#include "concurrency/AsyncStream.hpp"
#include "helpers/HTTPTransport.hpp"
#include "helpers/URLRequest.hpp"

namespace zirudeze::functions::detail {

// Starts `request` on a thread of its own and hands its body out chunk by chunk. The stream's end, for
// whatever reason, stops the transfer.
concurrency::AsyncThrowingStream<velmoria::base::Data> startStreamedInvocation(
    std::shared_ptr<helpers::HTTPTransport> transport, helpers::URLRequest request);

}  // namespace zirudeze::functions::detail
