// What the database service answers, from outside: a status, a "Content-Range" value and a body, run
// through a real execute. 2xx bodies decode into AnyJSON rows or fail with a decoding error; any other
// status becomes exactly a RestError or an HTTPError; the count agrees with the header.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "helpers/AnyJSON.hpp"
#include "helpers/HTTPError.hpp"
#include "helpers/RestError.hpp"
#include "rest/RestAnswer.hpp"
#include "rest/RestClient.hpp"

namespace {

using namespace zirudeze;

constexpr int kStatuses[] = {200, 201, 204, 206, 299, 300, 400, 401, 404, 406, 409, 500, 502, 503};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return 0;
  const int status = kStatuses[bytes[0] % std::size(kStatuses)];
  std::string_view rest(reinterpret_cast<const char*>(bytes + 1), size - 1);
  const auto newline = rest.find('\n');
  const std::string range(rest.substr(0, newline));
  const std::string body(newline == std::string_view::npos ? std::string_view() : rest.substr(newline + 1));

  const auto fetch = [&](const helpers::URLRequest& request) {
    auto response = std::make_shared<helpers::HTTPURLResponse>();
    response->url = request.url;
    response->statusCode = status;
    response->allHeaderFields = {{"Content-Type", "application/json"}, {"Content-Range", range}};
    return helpers::FetchResult{velmoria::base::dataFromString(body), response};
  };
  rest::RestClient client({.url = *velmoria::base::URL::parse("https://db.example/rest/v1"), .fetch = fetch});
  auto query = client.from("rows").select("*");

  try {
    const auto rows = query.execute<std::vector<helpers::AnyJSON>>();
    if (!rest::isSuccessStatus(status)) __builtin_trap();
    if (rows.count != rest::countFromContentRange(range)) __builtin_trap();
    for (const auto& row : rows.value) (void)row.description();
  } catch (const velmoria::base::DecodingError&) {
    if (!rest::isSuccessStatus(status)) __builtin_trap();
  } catch (const helpers::RestError& error) {
    if (rest::isSuccessStatus(status)) __builtin_trap();
    (void)error.localizedDescription();
  } catch (const helpers::HTTPError& error) {
    if (rest::isSuccessStatus(status) || velmoria::base::stringFromData(error.data()) != body) __builtin_trap();
  }
  return 0;
}
