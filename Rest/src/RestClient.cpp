#include "rest/RestClient.hpp"

#include "BuilderContext.hpp"
#include "FieldNames.hpp"
#include "RpcParameters.hpp"
#include "base/Unicode.hpp"
#include "concurrency/LockIsolated.hpp"
#include "helpers/HTTPFieldsBridging.hpp"
#include "helpers/RestError.hpp"

namespace zirudeze::rest {
namespace {

using Method = helpers::HTTPRequest::Method;

RestClientConfiguration withDefaultHeaders(RestClientConfiguration configuration) {
  for (const auto& [name, value] : restDefaultHeaders()) configuration.headers.try_emplace(name, value);
  return configuration;
}

helpers::HTTPRequest requestTo(const RestBuilder::Context& context, velmoria::base::URL url, const Method& method,
                               std::optional<velmoria::base::Data> body = std::nullopt) {
  return helpers::HTTPRequest(std::move(url), method, {}, context.headerFields, std::move(body));
}

}  // namespace

struct RestClient::State {
  explicit State(RestClientConfiguration configuration)
      : context(RestBuilder::Context::make(withDefaultHeaders(std::move(configuration)))) {}
  // Replaced as a whole on every change; builders keep the one they were made with.
  concurrency::LockIsolated<std::shared_ptr<const RestBuilder::Context>> context;
};

RestClient::RestClient(velmoria::base::URL url, std::optional<std::string> schema,
                       std::map<std::string, std::string> headers,
                       std::shared_ptr<const helpers::ZirudezeLogger> logger, helpers::FetchOperation fetch,
                       velmoria::base::JSONEncoder encoder, velmoria::base::JSONDecoder decoder)
    : RestClient(Configuration{std::move(url), std::move(schema), std::move(headers), std::move(fetch),
                               std::move(encoder), std::move(decoder), std::move(logger)}) {}

RestClient::RestClient(velmoria::base::URL url, std::optional<std::string> schema,
                       std::map<std::string, std::string> headers, helpers::FetchOperation fetch,
                       velmoria::base::JSONEncoder encoder, velmoria::base::JSONDecoder decoder)
    : RestClient(std::move(url), std::move(schema), std::move(headers), nullptr, std::move(fetch), std::move(encoder),
                 std::move(decoder)) {}

RestClient::RestClient(Configuration configuration) : state_(std::make_unique<State>(std::move(configuration))) {}

RestClient::RestClient(RestClient&&) noexcept = default;
RestClient& RestClient::operator=(RestClient&&) noexcept = default;
RestClient::~RestClient() = default;

RestClient::Configuration RestClient::configuration() const { return state_->context.value()->configuration; }

velmoria::base::JSONEncoder RestClient::encoder() const { return state_->context.value()->configuration.encoder; }

RestClient& RestClient::setAuth(const std::optional<std::string>& token) {
  state_->context.withValue([&](std::shared_ptr<const RestBuilder::Context>& context) {
    Configuration configuration = context->configuration;
    if (token) {
      configuration.headers.insert_or_assign("Authorization", "Bearer " + *token);
    } else {
      configuration.headers.erase("Authorization");
    }
    context = RestBuilder::Context::make(std::move(configuration));
  });
  return *this;
}

RestQueryBuilder RestClient::from(std::string_view table) const {
  auto context = state_->context.value();
  helpers::HTTPRequest request =
      requestTo(*context, context->configuration.url.appendingPathComponent(table), Method::get());
  return RestQueryBuilder(std::move(context), std::move(request));
}

RestFilterBuilder RestClient::rpcWithEncoded(std::string_view function, const velmoria::base::Json& params,
                                             const RpcOptions& options) const {
  auto context = state_->context.value();
  const Configuration& configuration = context->configuration;
  velmoria::base::URL url = configuration.url.appendingPathComponent("rpc/" + std::string(function));
  std::optional<velmoria::base::Data> body;
  Method method = Method::post();
  if (options.head || options.get) {
    method = options.head ? Method::head() : Method::get();
    if (!params.is_object()) {
      throw helpers::RestError("Params should be a key-value type when using `GET` or `HEAD` options.");
    }
    const auto items = detail::queryItemsFromParameters(params);
    // Text that is not UTF-8 cannot be percent-encoded and would drop every parameter from the URL.
    for (const auto& item : items) {
      if (!velmoria::base::isValidUTF8(item.name) || !velmoria::base::isValidUTF8(*item.value)) {
        throw RestBuilderError("The parameter \"" + velmoria::base::repairUTF8(item.name) + "\" is not valid UTF-8");
      }
    }
    helpers::appendQueryItems(url, items);
  } else {
    body = velmoria::base::dataFromString(configuration.encoder.dump(params));
  }
  helpers::HTTPRequest request = requestTo(*context, std::move(url), method, std::move(body));
  if (options.count) {
    request.headers.set(detail::FieldNames::prefer(), "count=" + std::string(rawValue(*options.count)));
  }
  return RestFilterBuilder(std::move(context), std::move(request));
}

RestClient RestClient::schema(std::string schema) const {
  Configuration copy = configuration();
  copy.schema = std::move(schema);
  return RestClient(std::move(copy));
}

}  // namespace zirudeze::rest
