#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/coding/JSONCoders.hpp"
#include "helpers/ErrorDescription.hpp"
#include "helpers/NotificationCenter.hpp"

using namespace zirudeze::helpers;

namespace {

TEST(NotificationCenter, ObserversHearOnlyTheirNameAndAnyNameObserversHearAll) {
  NotificationCenter center;
  std::vector<std::string> named;
  std::vector<std::string> all;
  const auto a = center.addObserver("A", [&](const Notification& n) { named.push_back(n.name); });
  const auto b = center.addObserver(std::nullopt, [&](const Notification& n) { all.push_back(n.name); });
  center.post("A");
  center.post("B", {}, {{"k", 1}});
  EXPECT_EQ(named, (std::vector<std::string>{"A"}));
  EXPECT_EQ(all, (std::vector<std::string>{"A", "B"}));
}

TEST(NotificationCenter, ObjectAndUserInfoArriveAsPosted) {
  NotificationCenter center;
  std::optional<Notification> seen;
  const auto token = center.addObserver("N", [&](const Notification& n) { seen = n; });
  center.post("N", std::string("sender"), {{"value", 42}, {"absent", std::optional<int>()}});
  ASSERT_TRUE(seen);
  EXPECT_EQ(std::any_cast<std::string>(seen->object), "sender");
  EXPECT_EQ(std::any_cast<int>(seen->userInfo.at("value")), 42);
  ASSERT_EQ(seen->userInfo.count("absent"), 1u);
  EXPECT_FALSE(std::any_cast<std::optional<int>>(seen->userInfo.at("absent")).has_value());
}

TEST(NotificationCenter, ACancelledOrDroppedTokenEndsTheObservation) {
  NotificationCenter center;
  int kept = 0, cancelled = 0, dropped = 0;
  const auto keep = center.addObserver("N", [&](const Notification&) { ++kept; });
  const auto cancel = center.addObserver("N", [&](const Notification&) { ++cancelled; });
  {
    const auto drop = center.addObserver("N", [&](const Notification&) { ++dropped; });
  }
  cancel.remove();
  cancel.remove();
  center.post("N");
  EXPECT_EQ(kept, 1);
  EXPECT_EQ(cancelled, 0);
  EXPECT_EQ(dropped, 0);
}

TEST(NotificationCenter, ObserversMayPostAndObserveFromInsideAPost) {
  NotificationCenter center;
  std::vector<std::string> order;
  std::vector<ObservationToken> later;
  const auto first = center.addObserver("outer", [&](const Notification&) {
    order.push_back("outer");
    later.push_back(center.addObserver("outer", [&](const Notification&) { order.push_back("late"); }));
    center.post("inner");
  });
  const auto second = center.addObserver("inner", [&](const Notification&) { order.push_back("inner"); });
  center.post("outer");
  EXPECT_EQ(order, (std::vector<std::string>{"outer", "inner"}));
}

TEST(NotificationCenter, PostsAndRegistrationsFromManyThreadsAreSafe) {
  NotificationCenter center;
  std::atomic<int> heard{0};
  const auto token = center.addObserver("N", [&](const Notification&) { ++heard; });
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        const auto temporary = center.addObserver("other", [](const Notification&) {});
        center.post("N");
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(heard.load(), 800);
  EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
}

TEST(ErrorDescription, CodingAndTransferErrorsGiveTheirUserTextsOthersWhat) {
  try {
    velmoria::base::parseJson("{");
    FAIL();
  } catch (const std::exception& error) {
    EXPECT_EQ(localizedDescription(error),
              "The data couldn\u2019t be read because it isn\u2019t in the correct format.");
    EXPECT_EQ(localizedDescription(std::current_exception()), localizedDescription(error));
  }
  EXPECT_EQ(localizedDescription(std::runtime_error("plain")), "plain");
  EXPECT_EQ(localizedDescription(std::make_exception_ptr(7)), "unknown error");
}

}  // namespace
