#include <functional>
#include <string_view>

#include "HashCombine.hpp"
#include "base/coding/CodingErrors.hpp"
#include "helpers/URLError.hpp"
#include "realtime/RealtimeError.hpp"
#include "realtime/WebSocket.hpp"

namespace zirudeze::realtime {

std::size_t WebSocketEvent::hashValue() const {
  std::size_t seed = value_.index();
  if (const Text* text = asText()) detail::hashCombine(seed, std::hash<std::string>{}(text->text));
  if (const Binary* binary = asBinary()) {
    const std::string_view bytes(reinterpret_cast<const char*>(binary->data.data()), binary->data.size());
    detail::hashCombine(seed, std::hash<std::string_view>{}(bytes));
  }
  if (const Close* close = asClose()) {
    detail::hashOptional(seed, close->code);
    detail::hashCombine(seed, std::hash<std::string>{}(close->reason));
  }
  return seed;
}

WebSocketError::WebSocketError(std::string message, std::exception_ptr underlying)
    : message_(std::move(message)), underlying_(std::move(underlying)) {
  description_ = message_ + " " + realtime::localizedDescription(underlying_);
}

WebSocketError WebSocketError::connection(std::string message, std::exception_ptr underlying) {
  return WebSocketError(std::move(message), std::move(underlying));
}

std::string localizedDescription(const std::exception_ptr& error) {
  if (!error) return "";
  try {
    std::rethrow_exception(error);
  } catch (const helpers::URLError& failure) {
    return failure.localizedDescription();
  } catch (const WebSocketError& failure) {
    return failure.localizedDescription();
  } catch (const RealtimeError& failure) {
    return failure.localizedDescription();
  } catch (const velmoria::base::DecodingError& failure) {
    return failure.localizedDescription();
  } catch (const std::exception& failure) {
    return failure.what();
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace zirudeze::realtime
