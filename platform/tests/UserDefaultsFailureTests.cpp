#include <sys/stat.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "FileFaults.hpp"
#include "platform/UserDefaults.hpp"

namespace fs = std::filesystem;
using velmoria::platform::DefaultsError;
using velmoria::platform::FileDefaultsSystem;
using namespace velmoria::platform::testing;

namespace {

const std::string kGood = R"({"mac.blockedBundleIDs": ["org.a", "org.b"], "other": 1})";

class DefaultsFailures : public ::testing::Test {
 protected:
  DefaultsFailures() { writeText(file(), kGood); }
  fs::path file() const { return tmp.path() / "standard.json"; }
  bool anyCopyAside() const {
    for (const auto& item : fs::directory_iterator(tmp.path())) {
      if (item.path().string().find(".corrupt") != std::string::npos) return true;
    }
    return false;
  }

  velmoria::testsupport::ScratchFolder tmp;
  FileDefaultsSystem system{tmp.path()};
};

TEST_F(DefaultsFailures, AFileThatFailsToReadIsAnErrorAndNeverDamage) {
  // Reading the start of a process's memory file fails with EIO: a read error from a regular file.
  fs::remove(file());
  fs::create_symlink("/proc/self/mem", file());
  auto suite = system.standard();
  EXPECT_THROW(suite->value("other"), DefaultsError);
  EXPECT_THROW(suite->setValue("other", 2), DefaultsError);
  EXPECT_TRUE(fs::is_symlink(file())) << "the unreadable file was replaced or moved";
  EXPECT_FALSE(anyCopyAside());
}

TEST_F(DefaultsFailures, AFileThatCannotBeOpenedIsAnErrorAndNeverDamage) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' own checks need free descriptors";
#endif
  auto suite = system.standard();
  {
    const NoFreeDescriptors exhausted;
    EXPECT_THROW(suite->value("other"), DefaultsError);
    EXPECT_THROW(suite->stringArray("mac.blockedBundleIDs"), DefaultsError);
    EXPECT_THROW(suite->setValue("mac.blockedBundleIDs", nlohmann::json{"org.c"}), DefaultsError);
  }
  EXPECT_EQ(contentOf(file()), kGood) << "the good file must stay in place, whole";
  EXPECT_FALSE(anyCopyAside());
  EXPECT_EQ(suite->stringArray("mac.blockedBundleIDs"), (std::vector<std::string>{"org.a", "org.b"}));
}

TEST_F(DefaultsFailures, SomethingThatIsNoRegularFileIsAnErrorAndIsLeftAlone) {
  fs::remove(file());
  fs::create_directory(file());
  auto suite = system.standard();
  EXPECT_THROW(suite->value("other"), DefaultsError);
  EXPECT_THROW(suite->setValue("other", 2), DefaultsError);
  EXPECT_TRUE(fs::is_directory(file()));
  EXPECT_FALSE(anyCopyAside());
}

TEST_F(DefaultsFailures, AFailedWriteIsReportedAndLeavesTheFileAsItWas) {
  auto suite = system.standard();
  {
    const FileSizeLimit small(kGood.size() + 8);
    EXPECT_THROW(suite->setValue("big", std::string(4096, 'x')), DefaultsError);
  }
  EXPECT_EQ(contentOf(file()), kGood);
  EXPECT_FALSE(suite->value("big").has_value());
  for (const auto& item : fs::directory_iterator(tmp.path())) {
    EXPECT_EQ(item.path().filename().string().find(".standard.json."), std::string::npos)
        << "a temporary file was left: " << item.path();
  }
}

TEST_F(DefaultsFailures, ALockFileThatCannotBeOpenedFailsTheWrite) {
  fs::create_directory(tmp.path() / "standard.json.lock");
  EXPECT_THROW(system.standard()->setValue("other", 2), DefaultsError);
  EXPECT_EQ(contentOf(file()), kGood);
}

TEST_F(DefaultsFailures, EachDamagedFileIsKeptAndNoEarlierCopyIsReplaced) {
  auto suite = system.standard();
  writeText(file(), "{\"first\": [1, 2");
  EXPECT_FALSE(suite->value("first").has_value()) << "a damaged file reads as empty";
  suite->setValue("a", 1);
  writeText(file(), "second damage");
  suite->setValue("b", 2);
  writeText(file(), "[\"third\"]");
  suite->setValue("c", 3);

  EXPECT_EQ(contentOf(tmp.path() / "standard.json.corrupt"), "{\"first\": [1, 2");
  EXPECT_EQ(contentOf(tmp.path() / "standard.json.corrupt.1"), "second damage");
  EXPECT_EQ(contentOf(tmp.path() / "standard.json.corrupt.2"), "[\"third\"]");
  EXPECT_EQ(suite->value("c"), nlohmann::json(3));
  EXPECT_FALSE(suite->value("a").has_value());
}

TEST_F(DefaultsFailures, ADamagedFileStaysInPlaceWhenItsReplacementCannotBeWritten) {
  writeText(file(), "not json");
  {
    const FileSizeLimit small(4);
    EXPECT_THROW(system.standard()->setValue("a", std::string(64, 'x')), DefaultsError);
  }
  EXPECT_EQ(contentOf(file()), "not json");
  EXPECT_EQ(contentOf(tmp.path() / "standard.json.corrupt"), "not json");
}

}  // namespace
