#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmoria::platform {

// Runs a script against another application and answers its text result.
class ScriptRunner {
 public:
  virtual ~ScriptRunner() = default;
  // Nothing when the script cannot be compiled or run, or answers no text.
  virtual std::optional<std::string> run(const std::string& source) = 0;
  virtual bool canRun() const = 0;
};

// This platform has no scripting host for other applications: every run answers nothing.
class UnavailableScriptRunner final : public ScriptRunner {
 public:
  std::optional<std::string> run(const std::string&) override { return std::nullopt; }
  bool canRun() const override { return false; }
};

// Records every script and answers from a table (nothing for a script not in it).
class FakeScriptRunner final : public ScriptRunner {
 public:
  std::optional<std::string> run(const std::string& source) override {
    scripts.push_back(source);
    const auto it = answers.find(source);
    return it == answers.end() ? std::nullopt : it->second;
  }
  bool canRun() const override { return true; }

  std::vector<std::string> scripts;
  std::map<std::string, std::optional<std::string>> answers;
};

}  // namespace velmoria::platform
