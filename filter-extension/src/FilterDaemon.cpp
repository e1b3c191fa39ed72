#include "velmoria_filter/FilterDaemon.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include "base/FileDescriptor.hpp"
#include "velmoria_filter/CaptureReplay.hpp"
#include "velmoria_filter/DaemonStatus.hpp"

namespace velmoria::filter {
namespace {

// Without a watch (the folder does not exist yet) the file is polled at this interval.
constexpr int pollIntervalMs = 2000;
// While enforcing, late flows and capture drops are looked at this often.
constexpr int tickIntervalMs = 500;

using base::FileDescriptor;

}  // namespace

FilterDaemon::FilterDaemon(WebFilterProvider& provider, std::filesystem::path preferences, Enforcement enforcement)
    : provider_(provider),
      preferences_(std::move(preferences)),
      enforcement_(std::move(enforcement)),
      tracker_(provider, [this](const FlowDecision& decision) { enforce(decision); }) {}

FilterDaemon::~FilterDaemon() = default;

void FilterDaemon::reload() {
  const auto stored = readFilterPreferences(preferences_);
  const bool enable = stored.enabled && stored.providerConfiguration.has_value();
  if (enable && !running_) {
    start(stored);
  } else if (!enable && running_) {
    const auto reason =
        stored.providerConfiguration ? StopReason::configurationDisabled : StopReason::configurationRemoved;
    stop(static_cast<long>(reason));
  } else if (enable && running_ && stored.providerConfiguration != startedWith_) {
    // The system restarts a provider whose configuration was saved with changes; the capture goes on.
    stop(static_cast<long>(StopReason::none));
    start(stored);
  }
}

void FilterDaemon::start(const StoredFilterConfiguration& stored) {
  provider_.startFilter(stored.providerConfiguration, {});
  try {
    enforcement_.enforcer.start();
    if (!source_) source_ = enforcement_.openSource();
  } catch (const std::exception& error) {
    enforcement_.log->log(LogLevel::error, std::string("cannot enforce: ") + error.what());
    source_.reset();
    try {
      enforcement_.enforcer.stop();
    } catch (const EnforcementError&) {
    }
    provider_.stopFilter(static_cast<long>(StopReason::providerFailed), {});
    throw StartError(error.what());
  }
  running_ = true;
  startedWith_ = stored.providerConfiguration;
  if (enforcement_.status) enforcement_.status->setEnforcing(true);
}

void FilterDaemon::stop(long reason) {
  if (enforcement_.status) enforcement_.status->setEnforcing(false);
  running_ = false;
  startedWith_.reset();
  // A restart keeps the capture so no flow opened in between goes unseen.
  if (reason != static_cast<long>(StopReason::none)) {
    if (source_) logCaptureDrops();
    source_.reset();
    tracker_.clear();
  }
  try {
    enforcement_.enforcer.stop();
  } catch (const EnforcementError& error) {
    enforcement_.log->log(LogLevel::error, std::string("cannot remove the rules: ") + error.what());
  }
  provider_.stopFilter(reason, {});
}

void FilterDaemon::enforce(const FlowDecision& decision) {
  if (decision.verdict != DataVerdict::drop || !running_) return;
  try {
    enforcement_.enforcer.drop(decision.key);
  } catch (const EnforcementError& error) {
    enforcement_.log->log(
        LogLevel::error,
        "cannot enforce " + formatFlowLine(decision.key, decision.verdict, decision.serverName) + ": " + error.what());
    return;
  }
  enforcement_.log->log(LogLevel::standard,
                        "enforced " + formatFlowLine(decision.key, decision.verdict, decision.serverName));
  if (enforcement_.onEnforced) enforcement_.onEnforced(decision, packetCaptured_);
}

void FilterDaemon::readPackets() {
  if (!source_) return;
  const auto now = FlowTracker::Clock::now();
  source_->dispatch([&](const DecodedPacket& packet, std::chrono::system_clock::time_point captured) {
    packetCaptured_ = captured;
    tracker_.add(packet, now);
  });
}

void FilterDaemon::tick(FlowTracker::Clock::time_point now) {
  if (!source_) return;
  tracker_.expire(now);
  logCaptureDrops();
}

void FilterDaemon::logCaptureDrops() {
  const auto dropped = source_->statistics().kernelDropped;
  if (dropped <= droppedLogged_) return;
  enforcement_.log->log(LogLevel::error, "capture fell behind: the kernel dropped " +
                                             std::to_string(dropped - droppedLogged_) + " packets (" +
                                             std::to_string(dropped) + " in all); their flows went unjudged");
  droppedLogged_ = dropped;
}

int FilterDaemon::run() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) return 1;
  const FileDescriptor signalFd(signalfd(-1, &signals, SFD_CLOEXEC));
  if (signalFd.get() < 0) return 1;

  const FileDescriptor inotifyFd(inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
  int watch = -1;
  const auto folder = preferences_.parent_path().empty() ? std::filesystem::path(".") : preferences_.parent_path();
  const auto tryWatch = [&] {
    if (watch < 0 && inotifyFd.get() >= 0) {
      // The app replaces the file by renaming a temporary one over it.
      watch = inotify_add_watch(inotifyFd.get(), folder.c_str(),
                                IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CREATE | IN_DELETE_SELF);
    }
  };

  int status = 0;
  try {
    // A run that died without cleaning up (SIGKILL, a crash) left its rules behind.
    enforcement_.enforcer.stop();
    tryWatch();
    reload();
    for (;;) {
      const int sourceFd = source_ ? source_->descriptor() : -1;
      std::array<pollfd, 3> fds{{{signalFd.get(), POLLIN, 0}, {inotifyFd.get(), POLLIN, 0}, {sourceFd, POLLIN, 0}}};
      const int timeout = source_ ? tickIntervalMs : (watch >= 0 ? -1 : pollIntervalMs);
      const int ready = ::poll(fds.data(), fds.size(), timeout);
      if (ready < 0 && errno != EINTR) break;
      if (fds[2].revents & POLLIN) readPackets();
      if (fds[0].revents & POLLIN) {
        signalfd_siginfo info{};
        if (::read(signalFd.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
          if (info.ssi_signo != SIGHUP) break;
          reload();
        }
      }
      if (fds[1].revents & POLLIN) {
        alignas(inotify_event) std::array<char, 4096> events{};
        bool folderGone = false;
        ssize_t length = 0;
        while ((length = ::read(inotifyFd.get(), events.data(), events.size())) > 0) {
          for (ssize_t at = 0; at < length;) {
            inotify_event event{};
            std::memcpy(&event, events.data() + at, sizeof event);
            if ((event.mask & (IN_DELETE_SELF | IN_IGNORED)) != 0) folderGone = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
          }
        }
        if (folderGone) watch = -1;
        reload();
      }
      if (watch < 0) {
        tryWatch();
        reload();
      }
      tick(FlowTracker::Clock::now());
    }
  } catch (const StartError&) {
    status = 1;
  } catch (const std::exception& error) {
    enforcement_.log->log(LogLevel::error, std::string("filter failed: ") + error.what());
    status = 1;
  }
  if (running_) {
    stop(static_cast<long>(StopReason::userInitiated));
  } else {
    try {
      enforcement_.enforcer.stop();
    } catch (const EnforcementError&) {
    }
  }
  return status;
}

}  // namespace velmoria::filter
