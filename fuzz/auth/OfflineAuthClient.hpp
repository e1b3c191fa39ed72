#pragma once

#include <atomic>
#include <memory>
#include <stdexcept>

#include "auth/AuthClient.hpp"
#include "auth/Dependencies.hpp"
#include "auth/Keychain.hpp"
#include "platform/InMemoryKeychainStore.hpp"

// An auth client whose every request fails at once, counted, so fuzzers see which inputs reach the network.
struct OfflineAuthClient {
  struct Offline final : zirudeze::helpers::HTTPClientType {
    std::atomic<int> sends{0};
    zirudeze::helpers::HTTPResponse send(const zirudeze::helpers::HTTPRequest&) override {
      ++sends;
      throw std::runtime_error("offline");
    }
  };

  std::shared_ptr<Offline> http = std::make_shared<Offline>();
  std::shared_ptr<zirudeze::auth::AuthClient> client;

  explicit OfflineAuthClient(zirudeze::auth::AuthFlowType flowType) {
    client = zirudeze::auth::AuthClient::make(zirudeze::auth::AuthClientConfiguration({
        .url = velmoria::base::URL::parse("http://127.0.0.1:1/auth/v1"),
        .flowType = flowType,
        .localStorage = std::make_shared<zirudeze::auth::KeychainLocalStorage>(zirudeze::auth::Keychain(
            "zirudeze.auth", std::nullopt, std::make_shared<velmoria::platform::InMemoryKeychainStore>())),
        .autoRefreshToken = false,
        .emitLocalSessionAsInitialSession = true,
    }));
    auto dependencies = *zirudeze::auth::Dependencies::get(client->clientID());
    dependencies.http = http;
    zirudeze::auth::Dependencies::set(client->clientID(), std::move(dependencies));
  }
};
