// The local backend: serves velmoria on loopback and reads start, stop and help from the terminal.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "base/ThreadSafety.hpp"
#include "localbackend/Console.hpp"
#include "localbackend/LineReader.hpp"
#include "localbackend/LocalBackend.hpp"
#include "localbackend/Options.hpp"

namespace {

// Lines come from the terminal loop and from the server's threads; each goes out whole.
void printLine(const std::string& text) {
  static velmoria::base::Mutex mutex;
  const velmoria::base::MutexLock lock(mutex);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Recorded requests are only of use to tests; a long run drops them now and then.
constexpr int kForgetIntervalMs = 60'000;

int serve(velmoria::localbackend::LocalBackend& backend, int signals) {
  velmoria::localbackend::LineReader reader;
  bool reading = true;
  for (;;) {
    pollfd fds[2] = {{signals, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    const int ready = ::poll(fds, reading ? 2 : 1, kForgetIntervalMs);
    if (ready < 0 && errno != EINTR) {
      std::perror("poll");
      return 1;
    }
    if (ready == 0) backend.forgetRecordedRequests();
    if (ready <= 0) continue;
    if (fds[0].revents & POLLIN) return 0;
    if (!reading || fds[1].revents == 0) continue;
    char buffer[4096];
    const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    std::vector<velmoria::localbackend::LineReader::Line> lines;
    if (count <= 0) {
      // The terminal went away (or the input was a file): keep serving until a signal ends the run.
      reading = false;
      if (auto last = reader.finish()) lines.push_back(std::move(*last));
    } else {
      lines = reader.feed(std::string_view(buffer, static_cast<std::size_t>(count)));
    }
    for (const auto& line : lines) {
      const std::string answer = line.tooLong ? "that line is too long; type help for the commands"
                                              : velmoria::localbackend::answerLine(backend, line.text);
      if (!answer.empty()) printLine(answer);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const auto parsed = velmoria::localbackend::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (const auto* problem = std::get_if<std::string>(&parsed)) {
    std::fprintf(stderr, "velmoria-local-backend: %s\n%s\n", problem->c_str(), velmoria::localbackend::usage().c_str());
    return 64;
  }
  const auto& options = std::get<velmoria::localbackend::Options>(parsed);
  if (options.help) {
    printLine(velmoria::localbackend::usage());
    return 0;
  }
  // SIGINT and SIGTERM end the run through the loop, so the server closes in order; a closed output is
  // no reason to stop serving.
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGINT);
  sigaddset(&ending, SIGTERM);
  sigaddset(&ending, SIGHUP);
  ::sigprocmask(SIG_BLOCK, &ending, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  const int signals = ::signalfd(-1, &ending, SFD_CLOEXEC);
  if (signals < 0) {
    std::perror("signalfd");
    return 1;
  }

  std::unique_ptr<velmoria::localbackend::LocalBackend> backend;
  try {
    backend = std::make_unique<velmoria::localbackend::LocalBackend>(options.port, printLine);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "velmoria-local-backend: cannot serve on 127.0.0.1:%u: %s\n", unsigned{options.port},
                 error.what());
    return 1;
  }
  printLine(velmoria::localbackend::greeting(*backend));
  const int status = serve(*backend, signals);
  backend.reset();
  ::close(signals);
  return status;
}
