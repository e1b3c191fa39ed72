#include <gtest/gtest.h>

#include "StorageTestSupport.hpp"
#include "storage/MimeTypes.hpp"

namespace zirudeze::storage {
namespace {

TEST(MimeTypeTableTest, ReadsTheMimeTypesFormat) {
  const auto table = MimeTypeTable::parse(
      "# comment line\n"
      "text/plain\ttxt text  conf # trailing comment\n"
      "image/png png\r\n"
      "application/x-empty\n"
      "not-a-type foo\n"
      "   \n"
      "text/x-first dup\n"
      "text/x-second DUP other");
  EXPECT_EQ(table.mimeType("txt"), "text/plain");
  EXPECT_EQ(table.mimeType("conf"), "text/plain");
  EXPECT_EQ(table.mimeType("png"), "image/png");
  EXPECT_EQ(table.mimeType("PnG"), "image/png");
  EXPECT_EQ(table.mimeType("dup"), "text/x-first");
  EXPECT_EQ(table.mimeType("other"), "text/x-second");
  EXPECT_EQ(table.mimeType("foo"), std::nullopt);
  EXPECT_EQ(table.mimeType("comment"), std::nullopt);
  EXPECT_EQ(table.count(), 6u);
}

TEST(MimeTypeTableTest, UnknownAndMissingExtensionsFallBackToOctetStream) {
  const MimeTypeTable table({{"image/png", "PNG"}, {"image/x-other", "png"}});
  EXPECT_EQ(mimeTypeForPathExtension("png", table), "image/png");
  EXPECT_EQ(mimeTypeForPathExtension("unknownext", table), "application/octet-stream");
  EXPECT_EQ(mimeTypeForPathExtension("", table), "application/octet-stream");
  EXPECT_EQ(MimeTypeTable::read("/nonexistent/mime.types").count(), 0u);
}

TEST(SystemMimeTypesTest, AgreesWithAnIndependentReadingOfTheSystemTable) {
  const auto expected = testing::readMimeTypesWithPython("/etc/mime.types");
  ASSERT_GT(expected.size(), 100u) << "Debian's media-types package provides /etc/mime.types";
  const auto& system = *MimeTypes::system();
  for (const auto& [extension, type] : expected) EXPECT_EQ(system.mimeType(extension), type) << extension;
  EXPECT_EQ(system.mimeType("JPG"), "image/jpeg");
  EXPECT_EQ(mimeTypeForPathExtension("no-such-extension-here"), "application/octet-stream");
}

}  // namespace
}  // namespace zirudeze::storage
