#include "StreamedInvocation.hpp"

#include <exception>
#include <stop_token>
#include <utility>

#include "InvocationChecks.hpp"
#include "concurrency/Task.hpp"
#include "helpers/URLError.hpp"

namespace zirudeze::functions::detail {
namespace {

using Stream = concurrency::AsyncThrowingStream<velmoria::base::Data>;

helpers::StreamHandlers handlersFor(const Stream::Continuation& continuation) {
  return helpers::StreamHandlers{
      .onResponse =
          [continuation](const helpers::HTTPURLResponse& response) {
            // A refused answer ends the stream, and with it the transfer.
            if (response.statusCode < 100) {
              continuation.finish(
                  std::make_exception_ptr(helpers::URLError(helpers::URLError::Code::badServerResponse)));
              return;
            }
            if (auto refusal = refusalOf(response.statusCode, response.value("x-relay-error"), {})) {
              continuation.finish(std::make_exception_ptr(std::move(*refusal)));
            }
          },
      .onChunk = [continuation](velmoria::base::Data chunk) { continuation.yield(std::move(chunk)); },
      .onComplete = [continuation](std::exception_ptr error) { continuation.finish(std::move(error)); },
  };
}

}  // namespace

Stream startStreamedInvocation(std::shared_ptr<helpers::HTTPTransport> transport, helpers::URLRequest request) {
  auto made = Stream::makeStream(concurrency::BufferingPolicy::unbounded());
  const auto continuation = made.second;
  const auto stop = std::make_shared<std::stop_source>();
  // In place before the transfer starts, so no way of ending the stream can miss it.
  continuation.setOnTermination([stop](concurrency::StreamTermination) { stop->request_stop(); });
  concurrency::Task([transport = std::move(transport), request = std::move(request), continuation, stop] {
    transport->stream(request, handlersFor(continuation), stop->get_token());
  });
  return std::move(made.first);
}

}  // namespace zirudeze::functions::detail
