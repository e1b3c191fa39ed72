#include "clocks/UnimplementedClock.hpp"

#include "clocks/ImmediateClock.hpp"
#include "issuereporting/ReportIssue.hpp"

namespace zirudeze::clocks {

namespace {
std::shared_ptr<const Clock> immediateAt(Instant now) { return std::make_shared<const ImmediateClock>(now); }
}  // namespace

UnimplementedClock::UnimplementedClock(std::shared_ptr<const Clock> base, std::string name,
                                       const issuereporting::SourceLocation& location)
    : base_(std::make_shared<const AnyClock>(std::move(base))), name_(std::move(name)), location_(location) {}

UnimplementedClock::UnimplementedClock(std::string name, Instant now, const issuereporting::SourceLocation& location)
    : UnimplementedClock(immediateAt(now), std::move(name), location) {}

UnimplementedClock::UnimplementedClock(const issuereporting::SourceLocation& location)
    : UnimplementedClock(immediateAt(Instant{}), "Clock", location) {}

UnimplementedClock::UnimplementedClock(std::string name)
    : UnimplementedClock(immediateAt(Instant{}), std::move(name),
                         issuereporting::SourceLocation{"Clocks/UnimplementedClock", __FILE__, 163, 16}) {}

void UnimplementedClock::report(const char* member) const {
  issuereporting::reportIssue([&]() -> std::optional<std::string> { return "Unimplemented: " + name_ + member; },
                              issuereporting::IssueSeverity::error, location_);
}

Instant UnimplementedClock::now() const {
  report(".now");
  return base_->now();
}

Duration UnimplementedClock::minimumResolution() const {
  report(".minimumResolution");
  return base_->minimumResolution();
}

void UnimplementedClock::sleepUntil(Instant deadline, std::optional<Duration> tolerance, std::stop_token token) const {
  report(".sleep");
  base_->sleepUntil(deadline, tolerance, std::move(token));
}

}  // namespace zirudeze::clocks
