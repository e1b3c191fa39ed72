#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

// Runs programs for the live tests: never through a shell, always with a time limit.
namespace velmoria::filter::live {

struct CommandResult {
  int status = -1;     // the exit status, or 128 + the signal that ended it
  std::string output;  // standard output and error together
  std::chrono::steady_clock::duration elapsed{};
};

CommandResult runCommand(const std::vector<std::string>& argv,
                         std::chrono::steady_clock::duration limit = std::chrono::seconds(20));

// A program left running, its output going to a file.
class BackgroundProcess {
 public:
  BackgroundProcess(const std::vector<std::string>& argv, const std::filesystem::path& output);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  int pid() const { return pid_; }
  // Sends the signal and waits for the end; returns the exit status as runCommand does.
  int stop(int signal, std::chrono::steady_clock::duration limit = std::chrono::seconds(10));
  bool running();

 private:
  int pid_ = -1;
  int status_ = -1;
};

std::string readFile(const std::filesystem::path& file);

}  // namespace velmoria::filter::live
