#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velmoria::testsupport {

// What the fake backend does with one request.
struct ScriptedResponse {
  unsigned status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // Wait this long before anything is written back.
  std::chrono::milliseconds delay{0};
  // Close the connection without answering (after `delay`).
  bool dropConnection = false;
  // Send the body as chunks, waiting `chunkDelay` before each one (chunked transfer coding).
  std::vector<std::string> chunks;
  std::chrono::milliseconds chunkDelay{0};
  // Told how a chunked body ended: true when every chunk went out, false when the client went away first.
  std::function<void(bool delivered)> onChunksEnd;
  // Send the headers, then close the connection before the body is complete.
  bool truncateBody = false;
  // Bytes written verbatim instead of a generated response (status line, headers, body);
  // the connection is closed afterwards.
  std::optional<std::string> raw;

  static ScriptedResponse json(unsigned status, std::string body);
  static ScriptedResponse text(unsigned status, std::string body);
  static ScriptedResponse dropped(std::chrono::milliseconds delay = {});
  ScriptedResponse&& withHeader(std::string name, std::string value) &&;
  ScriptedResponse&& after(std::chrono::milliseconds wait) &&;
};

}  // namespace velmoria::testsupport
