#include "testsupport/ChildProcess.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace velmoria::testsupport {

namespace {

std::vector<std::string> mergedEnvironment(const std::vector<std::pair<std::string, std::string>>& additions) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    const std::string name = text.substr(0, text.find('='));
    bool replaced = false;
    for (const auto& [added, value] : additions) replaced = replaced || added == name;
    if (!replaced) entries.push_back(text);
  }
  for (const auto& [name, value] : additions) entries.push_back(name + "=" + value);
  return entries;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> list;
  for (auto& text : texts) list.push_back(text.data());
  list.push_back(nullptr);
  return list;
}

// `inputFd` -1: standard input reads /dev/null.
pid_t spawn(std::vector<std::string> arguments, std::vector<std::string> environment, int inputFd, int outputFd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (inputFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, inputFd, STDIN_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
  auto argv = pointers(arguments);
  auto envp = pointers(environment);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return failed == 0 ? pid : -1;
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> arguments,
                           std::vector<std::pair<std::string, std::string>> environment, bool withInput) {
  if (arguments.empty()) throw std::runtime_error("no program to start");
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  // A socket rather than a pipe, so a write to a child that stopped reading fails without SIGPIPE.
  int inputFds[2] = {-1, -1};
  if (withInput && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, inputFds) != 0) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    throw std::runtime_error("socketpair failed");
  }
  const std::string program = arguments.front();
  pid_ = spawn(std::move(arguments), mergedEnvironment(environment), inputFds[0], pipeFds[1]);
  ::close(pipeFds[1]);
  if (inputFds[0] >= 0) ::close(inputFds[0]);
  output_ = pipeFds[0];
  input_ = inputFds[1];
  if (pid_ < 0) {
    ::close(output_);
    closeInput();
    throw std::runtime_error("could not start " + program);
  }
}

bool ChildProcess::send(std::string_view text) {
  if (input_ < 0) return false;
  while (!text.empty()) {
    const ssize_t count = ::send(input_, text.data(), text.size(), MSG_NOSIGNAL);
    if (count <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

void ChildProcess::closeInput() {
  if (input_ >= 0) ::close(input_);
  input_ = -1;
}

ChildProcess::~ChildProcess() {
  closeInput();
  if (!status_ && pid_ > 0) {
    ::kill(pid_, SIGTERM);
    if (!wait(std::chrono::seconds(2))) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }
  if (output_ >= 0) ::close(output_);
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (const auto end = pending_.find('\n'); end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd ready{output_, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[4096];
    const ssize_t got = ::read(output_, chunk, sizeof chunk);
    if (got <= 0) return std::nullopt;
    pending_.append(chunk, static_cast<std::size_t>(got));
  }
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return status_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string ChildProcess::output(std::vector<std::string> arguments,
                                 const std::vector<std::pair<std::string, std::string>>& environment,
                                 std::string_view input) {
  if (arguments.empty()) throw std::runtime_error("no program to start");
  const std::string program = arguments.front();
  // The input waits in a file, so a program that writes before it has read everything cannot block.
  const int inputFd = ::memfd_create("child-input", MFD_CLOEXEC);
  if (inputFd < 0) throw std::runtime_error("memfd_create failed");
  for (std::size_t written = 0; written < input.size();) {
    const ssize_t count = ::write(inputFd, input.data() + written, input.size() - written);
    if (count <= 0) {
      ::close(inputFd);
      throw std::runtime_error("cannot write the input of " + program);
    }
    written += static_cast<std::size_t>(count);
  }
  ::lseek(inputFd, 0, SEEK_SET);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    ::close(inputFd);
    throw std::runtime_error("pipe failed");
  }
  const pid_t pid = spawn(std::move(arguments), mergedEnvironment(environment), inputFd, pipeFds[1]);
  ::close(inputFd);
  ::close(pipeFds[1]);
  if (pid < 0) {
    ::close(pipeFds[0]);
    throw std::runtime_error("could not start " + program);
  }
  std::string text;
  char chunk[65536];
  for (ssize_t got; (got = ::read(pipeFds[0], chunk, sizeof chunk)) > 0;)
    text.append(chunk, static_cast<std::size_t>(got));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(program + " failed: " + text);
  return text;
}

}  // namespace velmoria::testsupport
