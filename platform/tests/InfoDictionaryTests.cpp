#include <gtest/gtest.h>

#include "platform/InfoDictionary.hpp"
#include "testsupport/ScopedEnvironment.hpp"
#include "testsupport/ScratchFolder.hpp"

namespace {

using velmoria::platform::InfoDictionary;
using velmoria::platform::InfoDictionaryError;

std::string failureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const InfoDictionaryError& error) {
    return error.what();
  }
  return "";
}

TEST(InfoDictionary, ReadsStringsAndNamesWhatIsWrong) {
  velmoria::testsupport::ScratchFolder folder;
  const auto file = folder.write("Info.json", R"({"A": "text", "B": 3})");
  const auto info = InfoDictionary::load(file);
  EXPECT_EQ(info.string("A"), "text");
  EXPECT_EQ(info.optionalString("C"), std::nullopt);
  EXPECT_EQ(failureOf([&] { (void)info.string("B"); }), file.string() + ": B is not a string");
  EXPECT_EQ(failureOf([&] { (void)info.string("C"); }), file.string() + ": C is missing");

  EXPECT_EQ(failureOf([&] { (void)InfoDictionary::load(folder.path() / "none.json"); }),
            (folder.path() / "none.json").string() + ": no such file");
  const auto broken = folder.write("broken.json", "{\"A\": ");
  EXPECT_EQ(failureOf([&] { (void)InfoDictionary::load(broken); }), broken.string() + ": is not valid JSON");
  const auto list = folder.write("list.json", "[1]");
  EXPECT_EQ(failureOf([&] { (void)InfoDictionary::load(list); }), list.string() + ": is not a JSON object");
  EXPECT_NE(failureOf([&] { (void)InfoDictionary::load(folder.path()); }).find("cannot be read"), std::string::npos);
}

TEST(InfoDictionary, TheEnvironmentNamesAnotherFile) {
  {
    velmoria::testsupport::ScopedEnvironment named("VELMORIA_INFO", std::string("/somewhere/else.json"));
    EXPECT_EQ(InfoDictionary::mainFile(), "/somewhere/else.json");
  }
  velmoria::testsupport::ScopedEnvironment unset("VELMORIA_INFO", std::nullopt);
  EXPECT_EQ(InfoDictionary::mainFile().filename(), "Info.json");
}

}  // namespace
