#include "rest/RestBuilder.hpp"

#include "BuilderContext.hpp"
#include "FieldNames.hpp"
#include "base/Unicode.hpp"
#include "concurrency/LockIsolated.hpp"
#include "helpers/HTTPFieldsBridging.hpp"
#include "helpers/LoggerInterceptor.hpp"
#include "rest/RestAnswer.hpp"

namespace zirudeze::rest {
namespace {

using Name = http::HTTPField::Name;
using Method = helpers::HTTPRequest::Method;

helpers::HTTPClient makeClient(const RestClientConfiguration& configuration) {
  std::vector<std::shared_ptr<helpers::HTTPClientInterceptor>> interceptors;
  if (configuration.logger) interceptors.push_back(std::make_shared<helpers::LoggerInterceptor>(configuration.logger));
  return helpers::HTTPClient(configuration.fetch, std::move(interceptors));
}

// Filters reach the URL through percent-encoding, which cannot take text that is not UTF-8; such an
// item would leave the whole query off the URL, so the request would touch every row.
void requireUTF8Query(const helpers::HTTPRequest& request) {
  for (const auto& item : request.query) {
    const bool valid =
        velmoria::base::isValidUTF8(item.name) && (!item.value || velmoria::base::isValidUTF8(*item.value));
    if (!valid)
      throw RestBuilderError("The query item \"" + velmoria::base::repairUTF8(item.name) + "\" is not valid UTF-8");
  }
}

// Idempotent, so a builder executed again completes the same request the same way.
void complete(helpers::HTTPRequest& request, const FetchOptions& options, const std::optional<std::string>& schema) {
  if (options.head) request.method = Method::head();
  if (options.count)
    helpers::appendOrUpdate(request.headers, detail::FieldNames::prefer(),
                            "count=" + std::string(rawValue(*options.count)));
  if (!request.headers.contains(Name::accept())) request.headers.set(Name::accept(), "application/json");
  request.headers.set(Name::contentType(), "application/json");
  if (schema) {
    const bool reads = request.method == Method::get() || request.method == Method::head();
    request.headers.set(reads ? detail::FieldNames::acceptProfile() : detail::FieldNames::contentProfile(), *schema);
  }
}

}  // namespace

RestBuilder::Context::Context(RestClientConfiguration configuration)
    : configuration(std::move(configuration)),
      headerFields(helpers::fieldsFromDictionary(this->configuration.headers)),
      http(makeClient(this->configuration)) {}

struct RestBuilder::Shared {
  Shared(std::shared_ptr<const Context> context, helpers::HTTPRequest request)
      : context(std::move(context)),
        state(std::make_shared<MutableState>(MutableState{std::move(request), FetchOptions{}, std::nullopt})) {}

  const std::shared_ptr<const Context> context;
  // The pointer is only followed while the lock is held, so changes happen in place instead of on a copy.
  concurrency::LockIsolated<std::shared_ptr<MutableState>> state;
};

RestBuilder::RestBuilder(RestClientConfiguration configuration, helpers::HTTPRequest request)
    : RestBuilder(Context::make(std::move(configuration)), std::move(request)) {}

RestBuilder::RestBuilder(std::shared_ptr<const Context> context, helpers::HTTPRequest request)
    : shared_(std::make_shared<Shared>(std::move(context), std::move(request))) {}

const RestClientConfiguration& RestBuilder::configuration() const noexcept { return shared_->context->configuration; }

const std::shared_ptr<const RestBuilder::Context>& RestBuilder::context() const noexcept { return shared_->context; }

RestBuilder::MutableState RestBuilder::state() const {
  return shared_->state.withValue([](const std::shared_ptr<MutableState>& state) { return *state; });
}

helpers::HTTPRequest RestBuilder::request() const {
  return shared_->state.withValue([](const std::shared_ptr<MutableState>& state) { return state->request; });
}

RestBuilder& RestBuilder::setHeader(std::string_view name, std::string_view value) {
  change([&](MutableState& state) {
    if (auto field = Name::make(name)) {
      state.request.headers.set(*field, value);
    } else {
      fail(state, "\"" + velmoria::base::repairUTF8(name) + "\" is not a valid header name");
    }
  });
  return *this;
}

void RestBuilder::change(const std::function<void(MutableState&)>& change) {
  shared_->state.withValue([&](const std::shared_ptr<MutableState>& state) { change(*state); });
}

void RestBuilder::fail(MutableState& state, std::string message) {
  if (!state.firstError) state.firstError = std::move(message);
}

void RestBuilder::passErrorTo(RestBuilder& target) const {
  const auto error = state().firstError;
  if (error) target.change([&](MutableState& state) { fail(state, *error); });
}

RestResponse<void> RestBuilder::executeDiscardingValue(FetchOptions options) { return send(options); }

RestResponse<void> RestBuilder::send(const FetchOptions& options) {
  const helpers::HTTPRequest request = shared_->state.withValue([&](const std::shared_ptr<MutableState>& pointer) {
    MutableState& state = *pointer;
    if (state.firstError) throw RestBuilderError(*state.firstError);
    requireUTF8Query(state.request);
    state.fetchOptions = options;
    complete(state.request, options, configuration().schema);
    return state.request;
  });
  helpers::HTTPResponse response = shared_->context->http.send(request);
  if (!isSuccessStatus(response.statusCode)) {
    std::rethrow_exception(errorForFailedAnswer(response.data, response.underlyingResponse, configuration().decoder));
  }
  RestResponse<void> answer{std::move(response.data), std::move(response.underlyingResponse), std::nullopt};
  answer.count = countFromResponse(answer.response);
  return answer;
}

void RestBuilder::logDecodeFailure(const std::string& typeName, const std::exception& error) const {
  const auto& logger = configuration().logger;
  if (!logger) return;
  // No closing quote after the type name: the established form of this line, which readers match.
  logger->emit(helpers::ZirudezeLogLevel::error, "Fail to decode type '" + typeName + " with error: " + error.what(),
               helpers::LogSite{"Rest/RestBuilder", "execute(options:)", __LINE__});
}

}  // namespace zirudeze::rest
