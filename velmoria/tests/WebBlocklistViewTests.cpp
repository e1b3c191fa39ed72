#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include "BlockingTestSupport.hpp"
#include "velmoria/WebBlocklistView.hpp"

using velmoria::WebBlocklistView;

namespace {

class WebListTest : public ::testing::Test {
 protected:
  WebListTest() : store_(defaults_), view_((velmoria::testing::app(), store_)) { view_.resize(460, 540); }

  void type(const QString& text) { view_.field()->setText(text); }
  void pressReturnInField() {
    view_.field()->setFocus();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(view_.field(), &press);
  }
  std::vector<QString> chips() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::vector<QString> out;
    for (auto* chip : view_.findChildren<QPushButton*>("chip")) out.push_back(chip->property("domain").toString());
    return out;
  }
  QPushButton* button(const char* name, const QString& domain) {
    for (auto* b : view_.findChildren<QPushButton*>(name)) {
      if (b->property("domain").toString() == domain) return b;
    }
    return nullptr;
  }

  velmoria::platform::MemoryDefaultsSystem defaults_;
  velmoria::MacWebBlocklistStore store_;
  WebBlocklistView view_;
};

TEST_F(WebListTest, AddsTheBareDomainClearsTheFieldAndCountsSites) {
  EXPECT_TRUE(view_.isShowingEmptyState());
  EXPECT_EQ(view_.countText(), "0 sites");
  type("HTTPS://www.Example.org:443/watch?v=1");
  view_.addButton()->click();
  EXPECT_EQ(store_.domains(), (std::vector<std::string>{"example.org"}));
  EXPECT_TRUE(view_.input().isEmpty());
  EXPECT_FALSE(view_.showInvalid());
  EXPECT_FALSE(view_.isShowingEmptyState());
  EXPECT_EQ(view_.countText(), "1 site");
  EXPECT_EQ(defaults_.storage("group.com.tandrelkoss.kelvaton").values.at("mac.blockedDomains"),
            nlohmann::json::array({"example.org"}));
  type("news.example.net");
  view_.addDomain();
  EXPECT_EQ(view_.countText(), "2 sites");
}

TEST_F(WebListTest, ReturnInTheFieldAddsWithoutClosingTheSheet) {
  view_.show();
  type("example.org");
  pressReturnInField();
  EXPECT_EQ(store_.domains(), (std::vector<std::string>{"example.org"}));
  EXPECT_TRUE(view_.isVisible());
  EXPECT_EQ(view_.result(), 0);
  // Done (the default action) closes it.
  view_.doneButton()->click();
  EXPECT_FALSE(view_.isVisible());
}

TEST_F(WebListTest, InvalidInputKeepsTheTextAndShowsTheMessageUntilTheNextEdit) {
  EXPECT_FALSE(view_.addButton()->isEnabled());
  type(" \t ");
  EXPECT_FALSE(view_.addButton()->isEnabled());  // only the button refuses blank text
  pressReturnInField();
  EXPECT_TRUE(view_.showInvalid());
  type("not a domain");
  EXPECT_FALSE(view_.showInvalid());
  EXPECT_TRUE(view_.addButton()->isEnabled());
  view_.addDomain();
  EXPECT_TRUE(view_.showInvalid());
  EXPECT_EQ(view_.input(), "not a domain");
  EXPECT_TRUE(store_.domains().empty());
  type("not a domai");
  EXPECT_FALSE(view_.showInvalid());
}

TEST_F(WebListTest, ADuplicateIsAcceptedSilently) {
  ASSERT_TRUE(store_.add("example.org"));
  const int writes = defaults_.storage("group.com.tandrelkoss.kelvaton").writes;
  type("https://EXAMPLE.org/");
  view_.addDomain();
  EXPECT_TRUE(view_.input().isEmpty());
  EXPECT_FALSE(view_.showInvalid());
  EXPECT_EQ(store_.domains().size(), 1u);
  EXPECT_EQ(defaults_.storage("group.com.tandrelkoss.kelvaton").writes, writes);
}

TEST_F(WebListTest, ChipsLeaveWhenTheirDomainIsListedAndReturnInTheirPlace) {
  const auto all = WebBlocklistView::suggestions();
  ASSERT_EQ(chips().size(), 8u);
  type("half typed");
  view_.addDomain();  // invalid: the message shows
  button("chip", "reddit.com")->click();
  EXPECT_EQ(store_.domains(), (std::vector<std::string>{"reddit.com"}));
  EXPECT_EQ(view_.input(), "half typed");
  EXPECT_TRUE(view_.showInvalid());
  auto now = chips();
  EXPECT_EQ(now.size(), 7u);
  EXPECT_EQ(std::find(now.begin(), now.end(), "reddit.com"), now.end());

  button("remove", "reddit.com")->click();
  EXPECT_TRUE(store_.domains().empty());
  EXPECT_TRUE(view_.isShowingEmptyState());
  now = chips();
  EXPECT_EQ(now, std::vector<QString>(all.begin(), all.end()));

  for (const auto& d : all) ASSERT_TRUE(store_.add(d.toStdString()));
  EXPECT_TRUE(chips().empty());
  EXPECT_TRUE(view_.remainingSuggestions().isEmpty());
}

TEST_F(WebListTest, RemovingARowSavesTheShortenedList) {
  ASSERT_TRUE(store_.add("a.example"));
  ASSERT_TRUE(store_.add("b.example"));
  button("remove", "a.example")->click();
  EXPECT_EQ(store_.domains(), (std::vector<std::string>{"b.example"}));
  EXPECT_EQ(defaults_.storage("group.com.tandrelkoss.kelvaton").values.at("mac.blockedDomains"),
            nlohmann::json::array({"b.example"}));
  EXPECT_EQ(view_.countText(), "1 site");
}

}  // namespace
