#include "helpers/JWT.hpp"

#include <vector>

#include "helpers/Base64URL.hpp"

namespace zirudeze::helpers {
namespace {

// Empty pieces are dropped, so ".." counts as one separator and a trailing "." adds nothing.
std::optional<std::vector<std::string_view>> threeSegments(std::string_view token) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (start <= token.size()) {
    const std::size_t end = std::min(token.find('.', start), token.size());
    if (end > start) {
      if (pieces.size() == 3) return std::nullopt;
      pieces.push_back(token.substr(start, end - start));
    }
    start = end + 1;
  }
  if (pieces.size() != 3) return std::nullopt;
  return pieces;
}

std::optional<JSONObject> parseObject(const velmoria::base::Data& bytes) {
  auto json = AnyJSON::parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  if (!json) return std::nullopt;
  JSONObject* object = json->objectValue();
  if (object == nullptr) return std::nullopt;
  return std::move(*object);
}

}  // namespace

std::optional<JSONObject> JWT::decodePayload(std::string_view token) {
  const auto pieces = threeSegments(token);
  if (!pieces) return std::nullopt;
  const auto bytes = Base64URL::decode((*pieces)[1]);
  if (!bytes) return std::nullopt;
  return parseObject(*bytes);
}

std::optional<DecodedJWT> JWT::decode(std::string_view token) {
  const auto pieces = threeSegments(token);
  if (!pieces) return std::nullopt;
  const auto& segments = *pieces;
  const auto headerBytes = Base64URL::decode(segments[0]);
  if (!headerBytes) return std::nullopt;
  const auto payloadBytes = Base64URL::decode(segments[1]);
  if (!payloadBytes) return std::nullopt;
  auto signature = Base64URL::decode(segments[2]);
  if (!signature) return std::nullopt;

  auto header = parseObject(*headerBytes);
  if (!header) return std::nullopt;
  auto payload = parseObject(*payloadBytes);
  if (!payload) return std::nullopt;
  return DecodedJWT{std::move(*header),
                    std::move(*payload),
                    std::move(*signature),
                    {std::string(segments[0]), std::string(segments[1])}};
}

}  // namespace zirudeze::helpers
