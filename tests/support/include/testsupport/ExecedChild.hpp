#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace velmoria::testsupport {

// Forks a child that runs `program` with exactly `arguments` (after the program itself) and `environment`
// ("NAME=value"), plus `pidVariable`=<the child's own pid> when one is named, and returns once it has
// exec'd: the pipe's write end closes on exec, so the caller never sees a copy of the test where the
// program should be. Throws when no pipe or child could be made: a pid of -1 handed on would make a
// caller's kill(pid, SIGKILL) signal every process it may.
inline pid_t spawnExeced(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment, const std::string& pidVariable = {}) {
  std::vector<std::string> args{program};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<std::string> env = environment;
  // Room for the digits, written in the child without allocating.
  if (!pidVariable.empty()) env.push_back(pidVariable + "=" + std::string(20, '\0'));
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  for (auto& e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  int execed[2];
  if (::pipe2(execed, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for a child of " + program);
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(execed[0]);
    ::close(execed[1]);
    throw std::runtime_error("no child for " + program);
  }
  if (pid == 0) {
    if (!pidVariable.empty()) {
      char digits[20];
      int count = 0;
      for (auto value = static_cast<unsigned long>(::getpid()); value != 0 || count == 0; value /= 10)
        digits[count++] = static_cast<char>('0' + value % 10);
      char* out = envp[envp.size() - 2] + pidVariable.size() + 1;
      while (count > 0) *out++ = digits[--count];
    }
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(execed[1]);
  char byte = 0;
  while (::read(execed[0], &byte, 1) < 0 && errno == EINTR) {
  }
  ::close(execed[0]);
  return pid;
}

// Waits until /proc shows the process running `program` (any, when empty) with its arguments in place: an
// exec shows the new program a moment before its arguments. False when it does not within the limit.
inline bool waitForExec(pid_t pid, const std::filesystem::path& program = {},
                        std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  const std::string dir = "/proc/" + std::to_string(pid);
  std::error_code ec;
  while (std::chrono::steady_clock::now() < deadline) {
    if (program.empty() || std::filesystem::read_symlink(dir + "/exe", ec) == program) {
      std::ifstream cmdline(dir + "/cmdline");
      if (cmdline.get() != std::char_traits<char>::eof()) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

}  // namespace velmoria::testsupport
