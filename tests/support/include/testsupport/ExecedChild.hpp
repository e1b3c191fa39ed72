#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace velmoria::testsupport {

// Forks a child that runs `program` with exactly `arguments` (after the program itself) and `environment`
// ("NAME=value"), plus `pidVariable`=<the child's own pid> when one is named, and returns once it has
// exec'd: the pipe's write end closes on exec, so the caller never sees a copy of the test where the
// program should be. -1 when no pipe or child could be made.
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
  if (::pipe2(execed, O_CLOEXEC) != 0) return -1;
  const pid_t pid = ::fork();
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
  while (pid > 0 && ::read(execed[0], &byte, 1) < 0 && errno == EINTR) {
  }
  ::close(execed[0]);
  return pid;
}

}  // namespace velmoria::testsupport
