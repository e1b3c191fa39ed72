#include <sys/stat.h>

#include <fstream>

#include <gtest/gtest.h>

#include "BlockingTestSupport.hpp"
#include "velmoria/BlockPage.hpp"
#include "velmoria/BrowserRedirector.hpp"

using namespace std::chrono_literals;
using velmoria::BrowserRedirector;

namespace {

TEST(RedirectorHost, ReducesTabAddressesToTheBareLowerCaseHost) {
  EXPECT_EQ(BrowserRedirector::hostOfURL("HTTPS://WWW.Example.COM./x?y=1"), "example.com");
  EXPECT_EQ(BrowserRedirector::hostOfURL("https://www.www.a.com/"), "www.a.com");
  EXPECT_EQ(BrowserRedirector::hostOfURL("http://a.com../"), "a.com.");  // one dot only
  EXPECT_FALSE(BrowserRedirector::hostOfURL("file:///run/user/1/velmoria-blocked.html?site=a.com"));
  EXPECT_FALSE(BrowserRedirector::hostOfURL("about:blank"));
  EXPECT_FALSE(BrowserRedirector::hostOfURL("not a url"));
  EXPECT_EQ(BrowserRedirector::hostOfURL("https://www./"), "www");
  EXPECT_FALSE(BrowserRedirector::hostOfURL("http://./"));
}

TEST(RedirectorHost, MatchesEntriesAndTheirSubdomainsOnly) {
  const std::vector<std::string> list{"WWW.A.com", "b.org."};
  EXPECT_TRUE(BrowserRedirector::isBlockedHost("a.com", list));
  EXPECT_TRUE(BrowserRedirector::isBlockedHost("x.a.com", list));
  EXPECT_FALSE(BrowserRedirector::isBlockedHost("bba.com", list));
  EXPECT_FALSE(BrowserRedirector::isBlockedHost("b.org", list));  // stored trailing dots stay
  EXPECT_FALSE(BrowserRedirector::isBlockedHost("com", list));
  // An entry that is nothing but "www." names no domain and matches nothing.
  EXPECT_FALSE(BrowserRedirector::isBlockedHost("x.com", {"www."}));
  EXPECT_FALSE(BrowserRedirector::isBlockedHost("", {"www.", "a.com"}));
}

TEST(RedirectorScripts, AreTheFourLineTellBlocks) {
  const auto& chrome = BrowserRedirector::browsers().at("com.google.Chrome");
  EXPECT_EQ(BrowserRedirector::readScript(chrome),
            "tell application \"Google Chrome\"\n    if (count of windows) is 0 then return \"\"\n"
            "    return URL of active tab of front window\nend tell");
  EXPECT_EQ(BrowserRedirector::setScript(BrowserRedirector::browsers().at("com.apple.Safari"), "file:///p?site=a.com"),
            "tell application \"Safari\"\n    if (count of windows) is 0 then return\n"
            "    set URL of current tab of front window to \"file:///p?site=a.com\"\nend tell");
  EXPECT_EQ(BrowserRedirector::browsers().size(), 7u);
}

class RedirectorTick : public ::testing::Test {
 protected:
  RedirectorTick() {
    velmoria::testing::app();
    chrome = workspace.addApp("com.google.Chrome", "Google Chrome");
    workspace.frontmost = chrome;
  }
  void setList(std::vector<std::string> list) {
    defaults.storage(velmoria::platform::kAppGroupSuiteName).values["mac.blockedDomains"] = list;
  }
  void showTab(const std::string& url) { scripts.answers[readChrome()] = url; }
  std::string readChrome() {
    return BrowserRedirector::readScript(BrowserRedirector::browsers().at("com.google.Chrome"));
  }
  std::vector<std::string> setScripts() const {
    std::vector<std::string> out;
    for (const auto& s : scripts.scripts) {
      if (s.find("set URL") != std::string::npos) out.push_back(s);
    }
    return out;
  }

  velmoria::testsupport::ScratchFolder tmp;
  velmoria::platform::MemoryDefaultsSystem defaults;
  velmoria::platform::FakeWorkspace workspace;
  velmoria::platform::FakeScriptRunner scripts;
  velmoria::platform::ManualScheduler scheduler;
  std::shared_ptr<velmoria::platform::FakeWorkspace::App> chrome;
  BrowserRedirector redirector{defaults, workspace, scripts, scheduler, [this] { return tmp.path(); }};
};

TEST_F(RedirectorTick, WritesThePageIntoThePrivateFolderOnceAndPollsEvery600ms) {
  redirector.start();
  const auto page = tmp.path() / "velmoria-blocked.html";
  ASSERT_TRUE(redirector.blockPageURL().has_value());
  EXPECT_EQ(*redirector.blockPageURL(), "file://" + page.string());
  std::ifstream in(page, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), velmoria::blockPageHTML());

  setList({"a.com"});
  showTab("https://a.com/");
  scheduler.advance(599ms);
  EXPECT_TRUE(scripts.scripts.empty());
  scheduler.advance(1ms);
  EXPECT_EQ(setScripts().size(), 1u);

  redirector.stop();
  std::filesystem::remove(page);
  redirector.start();  // the page of this run stays where it was; no rewrite
  EXPECT_FALSE(std::filesystem::exists(page));
  redirector.stop();
}

TEST_F(RedirectorTick, RedirectsABlockedHostOnceEveryTwoSecondsAndOtherHostsAtOnce) {
  redirector.start();
  setList({"example.com", "b.org"});
  showTab("https://WWW.Example.com./news");
  redirector.tick();
  ASSERT_EQ(setScripts().size(), 1u);
  EXPECT_NE(setScripts()[0].find("?site=example.com\""), std::string::npos);

  scheduler.advance(600ms);  // the timer's own tick, 0.6 s later
  EXPECT_EQ(setScripts().size(), 1u);
  showTab("https://b.org/");
  redirector.tick();
  EXPECT_EQ(setScripts().size(), 2u);
  showTab("https://example.com/");
  scheduler.advance(1399ms);  // 1.999 s after the first
  EXPECT_EQ(setScripts().size(), 3u) << "b.org is the last redirect now, so example.com goes at once";
  const auto last = redirector.lastRedirect();
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(last->host, "example.com");
  redirector.stop();
  EXPECT_FALSE(redirector.lastRedirect().has_value());
}

TEST_F(RedirectorTick, ThePauseForOneHostEndsAtExactlyTwoSeconds) {
  redirector.start();
  setList({"a.com"});
  showTab("https://a.com/");
  redirector.tick();
  scheduler.advance(1999ms);
  const auto before = setScripts().size();
  redirector.tick();
  EXPECT_EQ(setScripts().size(), before);
  scheduler.advance(1ms);
  redirector.tick();
  EXPECT_EQ(setScripts().size(), before + 1);
}

TEST_F(RedirectorTick, TheSiteParameterIsQueryEncodedAndQuoteFree) {
  redirector.start();
  setList({"xn--bcher-kva.de", "bücher.de"});
  showTab("https://B%C3%BCcher.de/");
  redirector.tick();
  const auto sent = setScripts();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NE(sent[0].find("?site=b%C3%BCcher.de\""), std::string::npos) << sent[0];
  EXPECT_EQ(std::count(sent[0].begin(), sent[0].end(), '"'), 4);
}

TEST_F(RedirectorTick, QuietWhenNothingIsToBeDone) {
  redirector.start();
  redirector.tick();  // empty list
  setList({"a.com"});
  workspace.frontmost = workspace.addApp("org.gnome.Terminal", "Terminal");
  redirector.tick();  // not a browser
  workspace.frontmost = workspace.addApp(std::nullopt, "Anon");
  redirector.tick();  // no identifier
  workspace.frontmost = nullptr;
  redirector.tick();  // nothing in front
  EXPECT_TRUE(scripts.scripts.empty());

  workspace.frontmost = chrome;
  redirector.tick();  // the script answers nothing (cannot run)
  showTab("");
  redirector.tick();  // no window
  setList({"a.com", "www."});
  showTab(*redirector.blockPageURL() + "?site=a.com");
  redirector.tick();  // the block page itself
  EXPECT_TRUE(setScripts().empty());
  EXPECT_FALSE(redirector.lastRedirect().has_value());
}

TEST_F(RedirectorTick, WithoutAScriptingHostATickAsksNothingOfTheWorkspace) {
  velmoria::platform::UnavailableScriptRunner none;
  setList({"a.com"});
  BrowserRedirector idle(defaults, workspace, none, scheduler, [this] { return tmp.path(); });
  idle.start();
  EXPECT_TRUE(idle.isRunning());
  EXPECT_EQ(scheduler.activeTimerCount(), 0) << "a wake-up every 0.6 s for nothing";
  for (int i = 0; i < 5; ++i) scheduler.advance(600ms);
  idle.tick();
  EXPECT_EQ(workspace.frontmostQueries, 0) << "each tick would cost a look at the window system";
  idle.stop();
}

TEST_F(RedirectorTick, AnUnavailableSuiteOrUnwritablePageEndsEveryTick) {
  defaults.unavailable.insert(velmoria::platform::kAppGroupSuiteName);
  redirector.start();
  showTab("https://a.com/");
  redirector.tick();
  EXPECT_TRUE(scripts.scripts.empty());

  velmoria::platform::MemoryDefaultsSystem okDefaults;
  okDefaults.storage(velmoria::platform::kAppGroupSuiteName).values["mac.blockedDomains"] =
      std::vector<std::string>{"a.com"};
  BrowserRedirector broken(okDefaults, workspace, scripts, scheduler,
                           []() -> std::filesystem::path { throw std::runtime_error("no private folder"); });
  broken.start();
  EXPECT_FALSE(broken.blockPageURL().has_value());
  broken.tick();
  EXPECT_TRUE(scripts.scripts.empty());
}

TEST(BlockPage, ShowsTheSiteAsTextAndCarriesItsParts) {
  const std::string page(velmoria::blockPageHTML());
  EXPECT_EQ(page.rfind("<!doctype html>", 0), 0u);
  for (const char* part :
       {"<title>Blocked · velmoria</title>", "<h1>Locked.</h1>", "id=\"site\"", "M7 11V7a5 5 0 0 1 10 0v4",
        "Stay with it — your future self will thank you.", ".textContent = site", "color-scheme: dark"}) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(page.find("innerHTML"), std::string::npos);
}

}  // namespace
