#pragma once

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "helpers/CapturingLogger.hpp"
#include "rest/RestClient.hpp"
#include "testsupport/AppTables.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeDatabase.hpp"

namespace zirudeze::rest::testing {

using velmoria::testsupport::ColumnType;
using velmoria::testsupport::createAppTables;
using velmoria::testsupport::FakeBackend;
using velmoria::testsupport::FakeDatabase;
using velmoria::testsupport::Json;
using velmoria::testsupport::RecordedRequest;
using velmoria::testsupport::ScriptedResponse;
using velmoria::testsupport::SessionRow;

inline constexpr const char* kUserID = "5B1F3C7E-2A4D-4E8F-9C1B-0D2E3F4A5B6C";
inline constexpr const char* kModeID = "9e8d7c6b-5a49-4837-8261-504f3e2d1c0b";

using helpers::CapturingLogger;

// A fake backend with the app's tables, a second schema "private", and a client on "/rest/v1".
class RestTest : public ::testing::Test {
 protected:
  RestTest() : database(backend, {"public", "private"}) { createAppTables(database); }

  RestClient::Configuration configuration(std::optional<std::string> schema = std::nullopt) const {
    return RestClient::Configuration{.url = *velmoria::base::URL::parse(backend.url("/rest/v1")),
                                     .schema = std::move(schema)};
  }
  RestClient client(std::optional<std::string> schema = std::nullopt) const {
    return RestClient(configuration(std::move(schema)));
  }

  FakeBackend backend;
  FakeDatabase database;
};

}  // namespace zirudeze::rest::testing
