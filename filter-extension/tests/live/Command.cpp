#include "Command.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace velmoria::filter::live {
namespace {

int spawn(const std::vector<std::string>& argv, int outputFd) {
  std::vector<char*> arguments;
  for (const auto& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
  posix_spawn_file_actions_adddup2(&actions, outputFd, 2);
  pid_t pid = -1;
  const int error = posix_spawnp(&pid, arguments[0], &actions, nullptr, arguments.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start " + argv[0]);
  return pid;
}

int decode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// Waits up to `limit` for the child; kills it when it outlives that.
int waitFor(int pid, std::chrono::steady_clock::duration limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  for (;;) {
    const auto done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return decode(status);
    if (done < 0) return -1;
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return decode(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace

std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

CommandResult runCommand(const std::vector<std::string>& argv, std::chrono::steady_clock::duration limit) {
  char name[] = "/tmp/velmoria-live-outputXXXXXX";
  const int fd = ::mkostemp(name, O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("no temporary file");
  const auto started = std::chrono::steady_clock::now();
  CommandResult result;
  try {
    result.status = waitFor(spawn(argv, fd), limit);
  } catch (...) {
    ::close(fd);
    ::unlink(name);
    throw;
  }
  result.elapsed = std::chrono::steady_clock::now() - started;
  ::close(fd);
  result.output = readFile(name);
  ::unlink(name);
  return result;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv, const std::filesystem::path& output) {
  const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot write " + output.string());
  try {
    pid_ = spawn(argv, fd);
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
}

BackgroundProcess::~BackgroundProcess() {
  if (pid_ > 0 && status_ < 0) stop(SIGKILL);
}

bool BackgroundProcess::running() {
  if (status_ >= 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) {
    status_ = decode(status);
    return false;
  }
  return true;
}

int BackgroundProcess::stop(int signal, std::chrono::steady_clock::duration limit) {
  if (!running()) return status_;
  ::kill(pid_, signal);
  status_ = waitFor(pid_, limit);
  return status_;
}

}  // namespace velmoria::filter::live
