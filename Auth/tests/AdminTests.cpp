#include <gtest/gtest.h>

#include "FlowServiceTestSupport.hpp"
#include "auth/AuthError.hpp"
#include "auth/PaginationHeaders.hpp"

namespace zirudeze::auth::testing {
namespace {

using velmoria::testsupport::ScriptedResponse;

TEST(PagingHeaders, TheTotalIsTheWholeTextAsAnInteger) {
  EXPECT_EQ(totalCount(std::nullopt), 0);
  EXPECT_EQ(totalCount("12"), 12);
  EXPECT_EQ(totalCount("+12"), 12);
  EXPECT_EQ(totalCount("-3"), -3);
  EXPECT_EQ(totalCount("12a"), 0);
  EXPECT_EQ(totalCount(" 12"), 0);
  EXPECT_EQ(totalCount("+-1"), 0);
  EXPECT_EQ(totalCount("99999999999999999999"), 0);
}

TEST(PagingHeaders, LinksNameTheNextAndLastPages) {
  EXPECT_EQ(pageLinks("</admin/users?page=2&per_page=1>; rel=\"next\", </admin/users?page=5&per_page=1>; rel=\"last\""),
            (PageLinks{2, 5}));
  EXPECT_EQ(pageLinks("</users?page=2>; rel=\"next\""), (PageLinks{2, 0}));
  // Unquoted relations and pages that do not parse change nothing.
  EXPECT_EQ(pageLinks("</users?page=4>; rel=last"), (PageLinks{}));
  EXPECT_EQ(pageLinks("</users?page=x4>; rel=\"last\""), (PageLinks{}));
  // The first "=" of the target decides, whichever item it belongs to.
  EXPECT_EQ(pageLinks("</users?per_page=9&page=4>; rel=\"last\""), (PageLinks{std::nullopt, 9}));
  // Later pieces win.
  EXPECT_EQ(pageLinks("</u?page=3>; rel=\"last\", </u?page=7>; rel=\"last\""), (PageLinks{std::nullopt, 7}));
}

TEST(PagingHeaders, AMalformedPieceIsSkipped) {
  EXPECT_EQ(pageLinks("garbage, </u?page=3>; rel=\"last\""), (PageLinks{std::nullopt, 3}));
  EXPECT_EQ(pageLinks("</u?page=3>, </u?page=2>; rel=\"next\""), (PageLinks{2, 0}));
  EXPECT_EQ(pageLinks("</u>; rel=\"last\", </u?page=2>; rel, ;;, ==, ,"), (PageLinks{}));
  EXPECT_EQ(pageLinks(""), (PageLinks{}));
}

struct AdminService : FlowService {
  std::shared_ptr<AuthClient> owner = client();
  AuthAdmin admin = owner->admin();
};

TEST(AdminUsers, ListsAlwaysSendBothPageItems) {
  AdminService auth;
  auth.admin.listUsers();
  EXPECT_EQ(auth.backend.lastRequest().rawQuery, "page=&per_page=");
  auth.admin.listUsers(PageParams{.page = 3});
  EXPECT_EQ(auth.backend.lastRequest().rawQuery, "page=3&per_page=");
  EXPECT_FALSE(auth.backend.lastRequest().header("Authorization").has_value() &&
               auth.backend.lastRequest().header("Authorization")->rfind("Bearer ey", 0) == 0);
}

TEST(AdminUsers, AListReadsItsPagingFromTheHeaders) {
  AdminService auth;
  for (const auto* email : {"a@example.com", "b@example.com", "c@example.com"}) auth.flows.addAdminUser(email);
  const auto first = auth.admin.listUsers(PageParams{.page = 1, .perPage = 1});
  EXPECT_EQ(first.users.size(), 1u);
  EXPECT_EQ(first.aud, "authenticated");
  EXPECT_EQ(first.nextPage, 2);
  EXPECT_EQ(first.lastPage, 3);
  EXPECT_EQ(first.total, 3);
  const auto last = auth.admin.listUsers(PageParams{.page = 3, .perPage = 1});
  EXPECT_FALSE(last.nextPage);
  EXPECT_EQ(last.lastPage, 3);

  auth.service.failNext("admin", ScriptedResponse::json(200, R"({"users":[],"aud":"x"})"));
  const auto bare = auth.admin.listUsers();
  EXPECT_FALSE(bare.nextPage);
  EXPECT_EQ(bare.lastPage, 0);
  EXPECT_EQ(bare.total, 0);
  auth.service.failNext("admin", ScriptedResponse::json(200, R"({"users":[]})"));
  EXPECT_ANY_THROW(auth.admin.listUsers());
}

TEST(AdminUsers, InvitesSendNullDataAndNoQueryWithoutARedirect) {
  AdminService auth;
  const auto invited = auth.admin.inviteUserByEmail("new@example.com");
  EXPECT_EQ(invited.email, "new@example.com");
  const auto body = jsonBody(auth.backend.lastRequest());
  EXPECT_EQ(memberNames(body), (std::vector<std::string>{"data", "email"}));
  EXPECT_TRUE(body["data"].is_null());
  EXPECT_TRUE(auth.backend.lastRequest().rawQuery.empty());
  auth.admin.inviteUserByEmail("other@example.com", helpers::JSONObject{{"team", helpers::AnyJSON("core")}},
                               velmoria::base::URL::parse("app://invited"));
  EXPECT_EQ(jsonBody(auth.backend.lastRequest())["data"], (velmoria::base::Json{{"team", "core"}}));
  EXPECT_EQ(auth.backend.lastRequest().queryValue("redirect_to"), "app://invited");
}

TEST(AdminUsers, UUIDsTravelInUpperCase) {
  AdminService auth;
  const auto id = auth.flows.addAdminUser("a@example.com");
  const auto user = auth.admin.getUserById(*velmoria::base::UUID::fromString(id));
  std::string upper = id;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  EXPECT_EQ(auth.backend.lastRequest().path, "/auth/v1/admin/users/" + upper);
  EXPECT_EQ(user.email, "a@example.com");
  auth.admin.updateUserById(user.id, AdminUserAttributes{.email = "b@example.com"});
  EXPECT_EQ(auth.backend.lastRequest().method, "PUT");
  EXPECT_EQ(auth.admin.getUserById(user.id).email, "b@example.com");
  auth.admin.deleteUser(id, true);
  EXPECT_EQ(auth.backend.lastRequest().method, "DELETE");
  EXPECT_EQ(auth.backend.lastRequest().path, "/auth/v1/admin/users/" + upper);
  EXPECT_EQ(jsonBody(auth.backend.lastRequest()), (velmoria::base::Json{{"should_soft_delete", true}}));
  EXPECT_THROW(auth.admin.getUserById(user.id), AuthError);
}

TEST(AdminUsers, DeletingByTextRefusesANonUUIDBeforeSending) {
  AdminService auth;
  EXPECT_THROW(auth.admin.deleteUser(std::string("../factors"), false), std::invalid_argument);
  EXPECT_EQ(auth.backend.requestCount(), 0u);
}

TEST(AdminOAuthClients, CreateReadUpdateRegenerateAndDelete) {
  AdminService auth;
  const auto oauth = auth.admin.oauth();
  const auto created = oauth.createClient(CreateOAuthClientParams{.clientName = "app", .redirectUris = {"app://cb"}});
  EXPECT_EQ(created.clientName, "app");
  EXPECT_EQ(oauth.getClient(created.clientId), created);
  EXPECT_EQ(auth.backend.lastRequest().path, "/auth/v1/admin/oauth/clients/" + created.clientId.uuidString());
  oauth.updateClient(created.clientId, UpdateOAuthClientParams{});
  EXPECT_EQ(auth.backend.lastRequest().body, "{}");
  const auto regenerated = oauth.regenerateClientSecret(created.clientId);
  EXPECT_EQ(auth.backend.lastRequest().path,
            "/auth/v1/admin/oauth/clients/" + created.clientId.uuidString() + "/regenerate_secret");
  EXPECT_TRUE(auth.backend.lastRequest().body.empty());
  EXPECT_NE(regenerated.clientSecret, created.clientSecret);
  const auto listed = oauth.listClients();
  EXPECT_EQ(auth.backend.lastRequest().rawQuery, "page=&per_page=");
  EXPECT_EQ(listed.clients.size(), 1u);
  EXPECT_EQ(listed.total, 1);
  EXPECT_EQ(oauth.deleteClient(created.clientId).clientId, created.clientId);
  // An answer without the deleted client is a decoding error, as the result requires one.
  auth.service.failNext("admin", ScriptedResponse::json(200, "{}"));
  EXPECT_ANY_THROW(oauth.deleteClient(created.clientId));
}

}  // namespace
}  // namespace zirudeze::auth::testing
