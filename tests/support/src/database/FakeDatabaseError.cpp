#include "testsupport/FakeDatabaseTypes.hpp"

namespace velmoria::testsupport {

FakeDatabaseError::FakeDatabaseError(unsigned status, std::string code, std::string message,
                                     std::optional<std::string> detail, std::optional<std::string> hint)
    : std::runtime_error(message),
      status(status),
      code(std::move(code)),
      message(std::move(message)),
      detail(std::move(detail)),
      hint(std::move(hint)) {}

Json FakeDatabaseError::body() const {
  Json body = Json::object();
  body["code"] = code;
  body["message"] = message;
  body["detail"] = detail ? Json(*detail) : Json(nullptr);
  body["hint"] = hint ? Json(*hint) : Json(nullptr);
  return body;
}

}  // namespace velmoria::testsupport
