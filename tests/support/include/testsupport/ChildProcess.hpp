#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmoria::testsupport {

// A program the tests start: its standard output is read line by line, its standard error goes to
// the test's. Ended (SIGTERM, then SIGKILL) when the value goes away.
class ChildProcess {
 public:
  // `arguments[0]` is the program's path (not searched on PATH); `environment` entries are added to
  // the test's own. Throws std::runtime_error when it cannot be started.
  // With `withInput` its standard input is a stream that send() writes to, else /dev/null.
  explicit ChildProcess(std::vector<std::string> arguments,
                        std::vector<std::pair<std::string, std::string>> environment = {}, bool withInput = false);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The next line of its output, or nothing when it ends or the time passes first.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout);
  pid_t pid() const { return pid_; }
  // Writes to its standard input (started `withInput`); false when it no longer reads.
  bool send(std::string_view text);
  // Ends its standard input.
  void closeInput();
  // Waits for it to exit; its exit status, or nothing when the time passed first.
  std::optional<int> wait(std::chrono::milliseconds timeout);

  // Runs a program to its end with `input` on its standard input and returns what it wrote to its
  // standard output. Throws std::runtime_error when it cannot be started or exits with other than 0.
  static std::string output(std::vector<std::string> arguments,
                            const std::vector<std::pair<std::string, std::string>>& environment = {},
                            std::string_view input = {});

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  int input_ = -1;
  std::string pending_;
  std::optional<int> status_;
};

}  // namespace velmoria::testsupport
