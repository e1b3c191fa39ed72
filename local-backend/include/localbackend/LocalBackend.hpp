#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace velmoria::localbackend {

using Json = nlohmann::ordered_json;

// What `start` or `stop` did: the session row it wrote, or why it wrote none.
struct SessionChange {
  enum class Outcome { done, nobodySignedIn, unknownMode, alreadyRunning, noneRunning };
  Outcome outcome = Outcome::done;
  std::string message;  // one line for the terminal
  Json row;             // the session row as stored after the change; null when nothing changed

  bool succeeded() const { return outcome == Outcome::done; }
};

struct SignedInUser {
  std::string email;
  std::string id;  // as the auth service writes it (lower case)
};

// The backend velmoria talks to when no real one is named: the fake backend's auth, database and functions
// halves on 127.0.0.1, with tables `sessions` and `modes` seeded as the app reads them. It stands in for
// the phone too: `start` and `stop` open and end a session of the signed-in user, from the terminal or
// through the control routes
//   POST /local/v1/start  (body empty, or {"mode": "<name or id>"})
//   POST /local/v1/stop
// which answer {"message", "session"} (201 or 200), or {"message"} with 409 or 404 for a refusal, and
//   GET /local/v1/status  {"signed_in": the address or null, "session": the running session or null}.
class LocalBackend {
 public:
  using Printer = std::function<void(const std::string& line)>;

  // The project key velmoria is given; the local backend takes any.
  static constexpr const char* kKey = "velmoria-local-key";

  // Serves on `port` (0: any free one); throws std::runtime_error saying why it cannot (a port taken). `print` gets
  // each line the backend has to say on its own: the codes it would have e-mailed, and what the control
  // routes did. Calls to it never overlap.
  explicit LocalBackend(std::uint16_t port = 0, Printer print = {});
  ~LocalBackend();
  LocalBackend(const LocalBackend&) = delete;
  LocalBackend& operator=(const LocalBackend&) = delete;

  // "http://127.0.0.1:<port>"
  std::string url() const;
  std::uint16_t port() const;

  // The user whose code was asked for last among those still signed in; none when nobody is.
  std::optional<SignedInUser> signedInUser() const;

  // Opens a session of `mode` (a mode's name in any case, or its id; the default blocking mode when none)
  // for the signed-in user, unless one is running already.
  SessionChange start(const std::optional<std::string>& mode = std::nullopt);
  // Ends the running session: `ended_at` now, `duration_seconds` the whole seconds it ran.
  SessionChange stop();

  // The rows of a table as stored, for tests: "sessions" or "modes".
  Json rows(const std::string& table) const;
  // Drops the requests the server has recorded so far, so a long run does not keep them all.
  void forgetRecordedRequests();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace velmoria::localbackend
