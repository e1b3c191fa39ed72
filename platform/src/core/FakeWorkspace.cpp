#include <algorithm>

#include "platform/Workspace.hpp"

namespace velmoria::platform {

bool FakeWorkspace::App::forceTerminate() {
  ++terminateCalls;
  const bool was = running;
  running = false;
  return was;
}

std::shared_ptr<FakeWorkspace::App> FakeWorkspace::addApp(std::optional<std::string> bundleID,
                                                          std::optional<std::string> name) {
  auto app = std::make_shared<App>();
  app->pid = nextPid_++;
  app->bundleID = std::move(bundleID);
  app->name = std::move(name);
  apps.push_back(app);
  return app;
}

void FakeWorkspace::launch(const std::shared_ptr<App>& app) {
  if (std::find(apps.begin(), apps.end(), app) == apps.end()) apps.push_back(app);
  app->running = true;
  post(WorkspaceNotification::didLaunchApplication, app);
}

void FakeWorkspace::activate(const std::shared_ptr<App>& app) {
  frontmost = app;
  post(WorkspaceNotification::didActivateApplication, app);
}

void FakeWorkspace::post(WorkspaceNotification name, const std::shared_ptr<RunningApplication>& app) {
  // Copy first: a handler may remove observers.
  std::vector<Handler> handlers;
  for (const auto& [token, entry] : observers_) {
    if (entry.first == name) handlers.push_back(entry.second);
  }
  for (const auto& h : handlers) h(app);
}

std::vector<std::shared_ptr<RunningApplication>> FakeWorkspace::runningApplications() {
  std::vector<std::shared_ptr<RunningApplication>> out;
  for (const auto& a : apps) {
    if (a->running) out.push_back(a);
  }
  return out;
}

std::shared_ptr<RunningApplication> FakeWorkspace::frontmostApplication() {
  ++frontmostQueries;
  if (frontmost && frontmost->running) return frontmost;
  return nullptr;
}

WorkspaceObserverToken FakeWorkspace::addObserver(WorkspaceNotification name, Handler handler) {
  const auto token = next_++;
  observers_.emplace(token, std::make_pair(name, std::move(handler)));
  return token;
}

void FakeWorkspace::removeObserver(WorkspaceObserverToken token) { observers_.erase(token); }

}  // namespace velmoria::platform
