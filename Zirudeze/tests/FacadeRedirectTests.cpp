#include "FacadeTestSupport.hpp"
#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/testing/RecordingReporter.hpp"

namespace zirudeze::testing {
namespace {

velmoria::base::URL url(const std::string& text) { return *velmoria::base::URL::parse(text); }

TEST_F(FacadeTest, ARedirectHandedToTheFacadeSignsItsAuthClientIn) {
  auto given = options();
  given.auth.flowType = auth::AuthFlowType::implicit;
  const auto client = facade(given);
  const auto issued = service.issueSession("ada@example.com");
  const auto accessToken = issued["access_token"].get<std::string>();

  client->handle(url("app://callback#access_token=" + accessToken + "&expires_in=3600&refresh_token=" +
                     issued["refresh_token"].get<std::string>() + "&token_type=bearer"));
  EXPECT_TRUE(eventually([&] {
    const auto session = client->auth()->currentSession();
    return session && session->accessToken == accessToken;
  }));
  client->from("modes").select().execute<std::vector<Mode>>();
  EXPECT_EQ(backend.lastRequest().header("Authorization"), "Bearer " + accessToken);
}

TEST_F(FacadeTest, HandlingARedirectWithTheAccessTokenOptionReportsTheAuthReadAndNeverThrows) {
  auto given = options();
  given.auth.accessToken = []() -> std::optional<std::string> { return "third-party"; };
  const auto reporter = std::make_shared<issuereporting::testing::RecordingReporter>();
  issuereporting::withIssueReporters({reporter}, [&] {
    const auto client = facade(given);
    EXPECT_NO_THROW(client->handle(url("app://callback?error=access_denied")));
    EXPECT_NO_THROW(client->handle(url("app://callback")));
  });
  EXPECT_EQ(reporter->calls().size(), 2u);
}

}  // namespace
}  // namespace zirudeze::testing
