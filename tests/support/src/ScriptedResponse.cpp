#include "testsupport/ScriptedResponse.hpp"

namespace velmoria::testsupport {

ScriptedResponse ScriptedResponse::json(unsigned status, std::string body) {
  ScriptedResponse response;
  response.status = status;
  response.headers.emplace_back("Content-Type", "application/json");
  response.body = std::move(body);
  return response;
}

ScriptedResponse ScriptedResponse::text(unsigned status, std::string body) {
  ScriptedResponse response;
  response.status = status;
  response.headers.emplace_back("Content-Type", "text/plain; charset=utf-8");
  response.body = std::move(body);
  return response;
}

ScriptedResponse ScriptedResponse::dropped(std::chrono::milliseconds delay) {
  ScriptedResponse response;
  response.dropConnection = true;
  response.delay = delay;
  return response;
}

ScriptedResponse&& ScriptedResponse::withHeader(std::string name, std::string value) && {
  headers.emplace_back(std::move(name), std::move(value));
  return std::move(*this);
}

ScriptedResponse&& ScriptedResponse::after(std::chrono::milliseconds wait) && {
  delay = wait;
  return std::move(*this);
}

}  // namespace velmoria::testsupport
