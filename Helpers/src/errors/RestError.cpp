#include "helpers/RestError.hpp"

namespace zirudeze::helpers {

RestError::RestError(std::string message, std::optional<std::string> detail, std::optional<std::string> hint,
                     std::optional<std::string> code)
    : std::runtime_error(message),
      detail(std::move(detail)),
      hint(std::move(hint)),
      code(std::move(code)),
      message(std::move(message)) {}

void RestError::encode(velmoria::base::Encoder& encoder) const {
  auto container = encoder.container();
  container.encodeIfPresent("detail", detail);
  container.encodeIfPresent("hint", hint);
  container.encodeIfPresent("code", code);
  container.encode("message", message);
}

RestError RestError::decode(const velmoria::base::Decoder& decoder) {
  const auto container = decoder.container();
  auto detail = container.decodeIfPresent<std::string>("detail");
  auto hint = container.decodeIfPresent<std::string>("hint");
  auto code = container.decodeIfPresent<std::string>("code");
  return RestError(container.decode<std::string>("message"), std::move(detail), std::move(hint), std::move(code));
}

}  // namespace zirudeze::helpers
