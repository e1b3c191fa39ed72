#include "velmoria/BrowserRedirector.hpp"

#include <QPointer>
#include <algorithm>

#include "base/PercentEncoding.hpp"
#include "base/URL.hpp"
#include "base/URLComponents.hpp"
#include "base/Unicode.hpp"
#include "platform/AtomicFile.hpp"
#include "platform/TemporaryDirectory.hpp"
#include "velmoria/BlockPage.hpp"

namespace velmoria {

const std::map<std::string, BrowserRedirector::Browser>& BrowserRedirector::browsers() {
  static const std::map<std::string, Browser> table{
      {"com.apple.Safari", {"Safari", "current tab"}},
      {"com.google.Chrome", {"Google Chrome", "active tab"}},
      {"com.google.Chrome.beta", {"Google Chrome Beta", "active tab"}},
      {"com.google.Chrome.canary", {"Google Chrome Canary", "active tab"}},
      {"com.brave.Browser", {"Brave Browser", "active tab"}},
      {"com.microsoft.edgemac", {"Microsoft Edge", "active tab"}},
      {"company.thebrowser.Browser", {"Arc", "active tab"}},
  };
  return table;
}

BrowserRedirector::BrowserRedirector(platform::DefaultsSystem& defaults, platform::Workspace& workspace,
                                     platform::ScriptRunner& scripts, platform::MainScheduler& scheduler,
                                     TemporaryDirectory temporaryDirectory, QObject* parent)
    : QObject(parent),
      defaults_(defaults),
      workspace_(workspace),
      scripts_(scripts),
      scheduler_(scheduler),
      temporaryDirectory_(temporaryDirectory ? std::move(temporaryDirectory)
                                             : TemporaryDirectory(platform::temporaryDirectory)) {}

BrowserRedirector::~BrowserRedirector() = default;

void BrowserRedirector::start() {
  if (timer_) return;
  ensureBlockPage();
  QPointer<BrowserRedirector> self(this);
  timer_ = scheduler_.createTimer([self] {
    if (self) self->tick();
  });
  // Without a scripting host every tick would end at once: the timer is not even woken.
  if (scripts_.canRun()) timer_->start(tickInterval, /*repeats=*/true);
}

void BrowserRedirector::stop() {
  if (timer_) timer_->stop();
  timer_.reset();
  lastRedirect_.reset();
}

void BrowserRedirector::ensureBlockPage() {
  if (blockPageURL_) return;
  try {
    // Our own private folder: a shared /tmp name could be planted or linked by another user.
    const auto path = temporaryDirectory_() / std::string(blockPageFileName);
    platform::writeFileAtomically(path, blockPageHTML(), 0644);
    blockPageURL_ = base::URL::fileURL(path.string()).absoluteString();
  } catch (const std::exception&) {
    // Left unwritten: every tick ends early until a later start writes it.
  }
}

std::vector<std::string> BrowserRedirector::readBlockedDomains() const {
  const auto suite = defaults_.suite(appGroupID);  // a fresh view each time, so the list is current
  if (!suite) return {};
  try {
    return suite->stringArray(blockedDomainsKey).value_or(std::vector<std::string>{});
  } catch (const platform::DefaultsError&) {
    return {};  // this tick redirects nothing; the next one reads again
  }
}

std::string BrowserRedirector::readScript(const Browser& browser) {
  return "tell application \"" + browser.appName +
         "\"\n    if (count of windows) is 0 then return \"\"\n    return URL of " + browser.tab +
         " of front window\nend tell";
}

std::string BrowserRedirector::setScript(const Browser& browser, std::string_view target) {
  return "tell application \"" + browser.appName + "\"\n    if (count of windows) is 0 then return\n    set URL of " +
         browser.tab + " of front window to \"" + std::string(target) + "\"\nend tell";
}

std::optional<std::string> BrowserRedirector::hostOfURL(std::string_view text) {
  const auto components = base::URLComponents::parse(text);
  if (!components) return std::nullopt;
  const auto rawHost = components->host();
  if (!rawHost) return std::nullopt;
  std::string host = base::lowercased(*rawHost);
  if (!host.empty() && host.back() == '.') host.pop_back();
  if (host.rfind("www.", 0) == 0) host.erase(0, 4);
  // "file:///..." has an empty host: that is no host, or the block page itself would match.
  if (host.empty()) return std::nullopt;
  return host;
}

namespace {

// Tabs show a name either way ("bücher.de" or "xn--bcher-kva.de"); both sides compare in the ASCII form.
std::string asciiForm(std::string text) {
  if (base::isASCII(text)) return text;
  return base::idnaASCII(text).value_or(std::move(text));
}

}  // namespace

bool BrowserRedirector::isBlockedHost(std::string_view tabHost, const std::vector<std::string>& domains) {
  if (tabHost.empty()) return false;
  const std::string host = asciiForm(std::string(tabHost));
  for (const auto& entry : domains) {
    std::string d = base::lowercased(entry);
    if (d.rfind("www.", 0) == 0) d.erase(0, 4);
    if (d.empty()) continue;  // an entry of nothing but "www." names no domain
    d = asciiForm(std::move(d));
    if (host == d) return true;
    if (host.size() > d.size() && host.substr(host.size() - d.size()) == d && host[host.size() - d.size() - 1] == '.') {
      return true;
    }
  }
  return false;
}

void BrowserRedirector::tick() {
  if (!blockPageURL_) return;
  // Without a scripting host no tab can be read or set: nothing to ask the workspace for.
  if (!scripts_.canRun()) return;
  const auto front = workspace_.frontmostApplication();
  if (!front) return;
  const auto bundleID = front->bundleIdentifier();
  if (!bundleID) return;
  const auto row = browsers().find(*bundleID);
  if (row == browsers().end()) return;
  // Read only once a browser is in front: most ticks find some other app there.
  const auto domains = readBlockedDomains();
  if (domains.empty()) return;

  const auto url = scripts_.run(readScript(row->second));
  if (!url || url->empty()) return;
  const auto host = hostOfURL(*url);
  if (!host || !isBlockedHost(*host, domains)) return;

  const auto now = scheduler_.now();
  if (lastRedirect_ && lastRedirect_->host == *host && now - lastRedirect_->at < redirectPause) return;
  lastRedirect_ = Redirect{*host, now};

  const std::string encoded = base::addingPercentEncoding(*host, base::CharacterSet::urlQueryAllowed()).value_or(*host);
  std::string target = *blockPageURL_ + "?site=" + encoded;
  target.erase(std::remove(target.begin(), target.end(), '"'), target.end());
  scripts_.run(setScript(row->second, target));
}

}  // namespace velmoria
