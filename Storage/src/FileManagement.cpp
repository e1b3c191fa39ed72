#include <charconv>
#include <map>

#include "StorageWire.hpp"
#include "helpers/HTTPError.hpp"
#include "storage/StorageCoders.hpp"
#include "storage/StorageError.hpp"
#include "storage/StorageFileApi.hpp"

namespace zirudeze::storage {
namespace {

using helpers::HTTPRequest;
using Method = HTTPRequest::Method;

// A storage error's code text read as a whole decimal number: an optional sign, then digits only.
std::optional<std::int64_t> statusNumber(const std::optional<std::string>& text) {
  if (!text || text->empty()) return std::nullopt;
  std::string_view digits = *text;
  const bool negative = digits.front() == '-';
  if (digits.front() == '+' || negative) digits.remove_prefix(1);
  if (digits.empty() || digits.front() == '+' || digits.front() == '-') return std::nullopt;
  // from_chars reads a leading "-" itself, so the sign goes back on for the range check.
  const std::string number = negative ? "-" + std::string(digits) : std::string(digits);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
  return value;
}

bool meansMissing(std::int64_t status) { return status == 400 || status == 404; }

// The move and copy body: its keys go on the wire as written, the destination bucket as null when none.
velmoria::base::Data transferBody(const velmoria::base::JSONEncoder& encoder, const std::string& bucketId,
                                  const std::string& from, const std::string& to,
                                  const std::optional<DestinationOptions>& options) {
  const std::map<std::string, std::optional<std::string>> body{
      {"bucketId", bucketId},
      {"sourceKey", from},
      {"destinationKey", to},
      {"destinationBucket", options ? options->destinationBucket : std::nullopt}};
  return encoder.encode(body);
}

}  // namespace

void StorageFileApi::move(const std::string& from, const std::string& to,
                          const std::optional<DestinationOptions>& options) const {
  execute(HTTPRequest(objectURL("object/move"), Method::post(), {}, {},
                      transferBody(configuration.encoder(), bucketId, from, to, options)));
}

std::string StorageFileApi::copy(const std::string& from, const std::string& to,
                                 const std::optional<DestinationOptions>& options) const {
  return execute(HTTPRequest(objectURL("object/copy"), Method::post(), {}, {},
                             transferBody(configuration.encoder(), bucketId, from, to, options)))
      .decoded<detail::KeyOnlyUploadResponse>(configuration.decoder())
      .key;
}

std::vector<FileObject> StorageFileApi::remove(const std::vector<std::string>& paths) const {
  const std::map<std::string, std::vector<std::string>> body{{"prefixes", paths}};
  return execute(HTTPRequest(objectURL("object/" + bucketId), Method::delete_(), {}, {},
                             configuration.encoder().encode(body)))
      .decoded<std::vector<FileObject>>(configuration.decoder());
}

std::vector<FileObject> StorageFileApi::list(const std::optional<std::string>& path,
                                             const std::optional<SearchOptions>& options) const {
  SearchOptions sent = options ? *options : defaultSearchOptions();
  sent.prefix = path.value_or("");
  return execute(HTTPRequest(objectURL("object/list/" + bucketId), Method::post(), {}, {},
                             storagePlainJSONEncoder().encode(sent)))
      .decoded<std::vector<FileObject>>(configuration.decoder());
}

FileObjectV2 StorageFileApi::info(const std::string& path) const {
  return execute(HTTPRequest(objectURL("object/info/" + bucketId + "/" + path), Method::get()))
      .decoded<FileObjectV2>(configuration.decoder());
}

bool StorageFileApi::exists(const std::string& path) const {
  try {
    execute(HTTPRequest(objectURL("object/" + bucketId + "/" + path), Method::head()));
    return true;
  } catch (const StorageError& error) {
    const auto status = statusNumber(error.statusCode);
    if (status && meansMissing(*status)) return false;
    throw;
  } catch (const helpers::HTTPError& error) {
    if (meansMissing(error.response().statusCode)) return false;
    throw;
  }
}

}  // namespace zirudeze::storage
