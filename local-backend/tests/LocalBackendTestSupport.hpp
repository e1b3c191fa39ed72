#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <gtest/gtest.h>

#include "auth/Keychain.hpp"
#include "base/Coding.hpp"
#include "base/Date.hpp"
#include "base/URL.hpp"
#include "localbackend/LocalBackend.hpp"
#include "platform/InMemoryKeychainStore.hpp"
#include "testsupport/AppTables.hpp"
#include "zirudeze/ZirudezeClient.hpp"

namespace velmoria::localbackend::testing {

using testsupport::SessionRow;

struct ModeFlagRow {
  std::optional<bool> blockOnMac;

  static ModeFlagRow decode(const base::Decoder& decoder) {
    return ModeFlagRow{decoder.container().decodeIfPresent<bool>("block_on_mac")};
  }
};

// Lines the backend printed, kept for a test to wait on.
class PrintedLines {
 public:
  LocalBackend::Printer printer() {
    return [this](const std::string& line) {
      const std::lock_guard lock(mutex_);
      lines_.push_back(line);
    };
  }
  std::vector<std::string> lines() const {
    const std::lock_guard lock(mutex_);
    return lines_;
  }
  // The first printed line that starts with `prefix`, waiting a few seconds for it.
  std::optional<std::string> waitFor(const std::string& prefix) const {
    for (int i = 0; i < 500; ++i) {
      for (const auto& line : lines())
        if (line.rfind(prefix, 0) == 0) return line;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// velmoria's side of the wire: the facade with its keychain in memory.
class AppClient {
 public:
  explicit AppClient(const std::string& url)
      : client_(zirudeze::ZirudezeClient::make(*base::URL::parse(url), LocalBackend::kKey, options())) {}

  // Asks for a code, reads it from `codeOf` and signs in with it.
  template <class CodeSource>
  void signIn(const std::string& email, CodeSource codeOf) const {
    client_->auth()->signInWithOTP(zirudeze::auth::Email{email});
    const auto code = codeOf(email);
    ASSERT_TRUE(code) << "no code printed for " << email;
    client_->auth()->verifyOTP(zirudeze::auth::Email{email}, *code, zirudeze::auth::EmailOTPType::email);
  }
  void requestCode(const std::string& email) const { client_->auth()->signInWithOTP(zirudeze::auth::Email{email}); }
  void signOut() const { client_->auth()->signOut(zirudeze::auth::SignOutScope::global); }

  base::UUID userID() const { return client_->auth()->session().user.id; }

  // The session query of the app, item for item.
  std::vector<SessionRow> openSessions() const {
    return client_->from("sessions")
        .select("*")
        .eq("user_id", userID())
        .is("ended_at", std::nullopt)
        .order("started_at", {.ascending = false})
        .limit(1)
        .execute<std::vector<SessionRow>>()
        .value;
  }
  // The mode query of the app.
  std::vector<ModeFlagRow> modeFlag(const std::string& modeID) const {
    return client_->from("modes")
        .select("block_on_mac")
        .eq("id", modeID)
        .limit(1)
        .execute<std::vector<ModeFlagRow>>()
        .value;
  }

 private:
  static zirudeze::ZirudezeClientOptions options() {
    zirudeze::ZirudezeClientOptions made;
    made.auth.storage = std::make_shared<zirudeze::auth::KeychainLocalStorage>(
        zirudeze::auth::Keychain("zirudeze.auth", std::nullopt, std::make_shared<platform::InMemoryKeychainStore>()));
    made.auth.emitLocalSessionAsInitialSession = true;
    return made;
  }

  std::shared_ptr<zirudeze::ZirudezeClient> client_;
};

// The code in a line "code for <email>: <code>".
inline std::optional<std::string> codeIn(const std::optional<std::string>& line) {
  if (!line) return std::nullopt;
  const auto colon = line->rfind(": ");
  if (colon == std::string::npos) return std::nullopt;
  return line->substr(colon + 2);
}

struct HTTPAnswer {
  unsigned status = 0;
  Json body;
};

// One request to the backend on 127.0.0.1:`port`, as a script would send it.
inline HTTPAnswer request(boost::beast::http::verb method, std::uint16_t port, const std::string& target,
                          const std::string& body = {}) {
  namespace asio = boost::asio;
  namespace http = boost::beast::http;
  asio::io_context io;
  asio::ip::tcp::socket socket(io);
  socket.connect({asio::ip::make_address("127.0.0.1"), port});
  http::request<http::string_body> request(method, target, 11);
  request.set(http::field::host, "127.0.0.1");
  if (!body.empty()) request.set(http::field::content_type, "application/json");
  request.body() = body;
  request.prepare_payload();
  http::write(socket, request);
  boost::beast::flat_buffer buffer;
  http::response<http::string_body> response;
  http::read(socket, buffer, response);
  return HTTPAnswer{response.result_int(), Json::parse(response.body(), nullptr, false)};
}

inline HTTPAnswer post(std::uint16_t port, const std::string& target, const std::string& body = {}) {
  return request(boost::beast::http::verb::post, port, target, body);
}

inline std::string lowerCased(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace velmoria::localbackend::testing
