#include "platform/FakeWebAuthenticationSession.hpp"

#include <deque>
#include <thread>
#include <utility>

#include "base/ThreadSafety.hpp"

namespace velmoria::platform {

struct FakeWebAuthenticationSessions::State {
  base::Mutex mutex;
  std::deque<Outcome> outcomes VM_GUARDED_BY(mutex);
  std::vector<Record> records VM_GUARDED_BY(mutex);

  Outcome nextOutcome() {
    base::MutexLock lock(mutex);
    if (outcomes.empty()) {
      return Outcome{std::nullopt, std::make_exception_ptr(WebAuthenticationError(
                                       WebAuthenticationError::Code::canceledLogin, "The user canceled login."))};
    }
    Outcome next = std::move(outcomes.front());
    outcomes.pop_front();
    return next;
  }
};

namespace {

class FakeSession final : public WebAuthenticationSession {
 public:
  FakeSession(std::shared_ptr<FakeWebAuthenticationSessions::State> state, std::size_t index, base::URL url,
              std::optional<std::string> scheme, Completion completion)
      : WebAuthenticationSession(std::move(url), std::move(scheme), std::move(completion)),
        state_(std::move(state)),
        index_(index) {}

  ~FakeSession() override {
    if (completer_.joinable()) completer_.join();
  }

  bool start() override {
    if (started_) return false;
    started_ = true;
    const auto provider = presentationContextProvider();
    const bool gotAnchor = provider && provider->presentationAnchor(*this) != nullptr;
    {
      base::MutexLock lock(state_->mutex);
      auto& record = state_->records.at(index_);
      record.started = true;
      record.provider = provider;
      record.gotAnchor = gotAnchor;
    }
    if (!gotAnchor) {
      complete(std::nullopt, std::make_exception_ptr(
                                 WebAuthenticationError(WebAuthenticationError::Code::presentationContextNotProvided,
                                                        "The presentation context provider gave no anchor.")));
      return false;
    }
    // The browser comes back later, on another thread.
    completer_ = std::thread([this, outcome = state_->nextOutcome()] { complete(outcome.callbackURL, outcome.error); });
    return true;
  }

 private:
  std::shared_ptr<FakeWebAuthenticationSessions::State> state_;
  std::size_t index_;
  bool started_ = false;
  std::thread completer_;
};

}  // namespace

FakeWebAuthenticationSessions::FakeWebAuthenticationSessions() : state_(std::make_shared<State>()) {}

void FakeWebAuthenticationSessions::completeWithURL(const base::URL& callbackURL) {
  base::MutexLock lock(state_->mutex);
  state_->outcomes.push_back(Outcome{callbackURL, nullptr});
}

void FakeWebAuthenticationSessions::completeWithError(std::exception_ptr error) {
  base::MutexLock lock(state_->mutex);
  state_->outcomes.push_back(Outcome{std::nullopt, std::move(error)});
}

WebAuthenticationSessionFactory FakeWebAuthenticationSessions::factory() const {
  return
      [state = state_](base::URL url, std::optional<std::string> scheme,
                       WebAuthenticationSession::Completion completion) -> std::unique_ptr<WebAuthenticationSession> {
        std::size_t index = 0;
        {
          base::MutexLock lock(state->mutex);
          index = state->records.size();
          state->records.push_back(Record{
              .url = url, .callbackURLScheme = scheme, .started = false, .provider = nullptr, .gotAnchor = false});
        }
        return std::make_unique<FakeSession>(state, index, std::move(url), std::move(scheme), std::move(completion));
      };
}

std::vector<FakeWebAuthenticationSessions::Record> FakeWebAuthenticationSessions::sessions() const {
  base::MutexLock lock(state_->mutex);
  return state_->records;
}

}  // namespace velmoria::platform
