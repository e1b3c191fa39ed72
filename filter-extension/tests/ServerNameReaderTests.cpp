#include <algorithm>

#include <gtest/gtest.h>

#include "ClientHelloBuilder.hpp"
#include "TestData.hpp"
#include "velmoria_filter/ServerNameReader.hpp"

namespace velmoria::filter {
namespace {

using testing::Bytes;
using testing::bytesOf;
using testing::ClientHelloBuilder;
using testing::serverNameBody;

std::optional<std::string> read(const Bytes& bytes) { return extractServerName(bytes); }

// Where the first server_name extension of a well-formed hello ends, found independently of the
// reader by walking the extensions.
std::size_t serverNameEnd(const Bytes& hello) {
  std::size_t p = 44 + hello[43];
  p += 2 + ((hello[p] << 8) | hello[p + 1]);
  p += 1 + hello[p];
  p += 2;
  for (;;) {
    const std::size_t type = (hello[p] << 8) | hello[p + 1];
    const std::size_t length = (hello[p + 2] << 8) | hello[p + 3];
    if (type == 0) return p + 4 + length;
    p += 4 + length;
  }
}

TEST(ServerNameReaderTest, ReadsTheNameOfRecordedClientHellos) {
  for (const auto& hello : testing::recordedHellos()) {
    SCOPED_TRACE(hello.file);
    EXPECT_EQ(read(testing::readTestData(hello.file)), hello.serverName);
  }
}

TEST(ServerNameReaderTest, TruncatedRecordedHellosGiveTheWholeNameOrNothing) {
  for (const auto& hello : testing::recordedHellos()) {
    SCOPED_TRACE(hello.file);
    const auto bytes = testing::readTestData(hello.file);
    const auto end = serverNameEnd(bytes);
    for (std::size_t n = 0; n < bytes.size(); ++n) {
      const Bytes prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
      const auto name = read(prefix);
      // The walk is bounded by the buffer, so a name lying wholly inside a cut hello is still found.
      if (n >= end) {
        EXPECT_EQ(name, hello.serverName) << "cut at " << n;
      } else {
        EXPECT_EQ(name, std::nullopt) << "cut at " << n;
      }
    }
  }
}

TEST(ServerNameReaderTest, FindsTheNameAfterALargeKeyShare) {
  const auto recorded = testing::readTestData("hello-chromium-name-after-key-share.bin");
  EXPECT_GT(serverNameEnd(recorded), 1500u);
  EXPECT_EQ(read(recorded), "cdn.video.example");

  const auto built =
      ClientHelloBuilder{}.extension(51, Bytes(1250, 0x42)).extension(43, {2, 3, 4}).serverName("late.example").build();
  EXPECT_EQ(read(built), "late.example");
}

TEST(ServerNameReaderTest, RejectsOtherRecordsAndShortBuffers) {
  auto hello = ClientHelloBuilder{}.serverName("a.example").build();
  ASSERT_EQ(read(hello), "a.example");

  EXPECT_EQ(read({}), std::nullopt);
  EXPECT_EQ(read(Bytes(hello.begin(), hello.begin() + 43)), std::nullopt);

  auto alert = hello;
  alert[0] = 21;
  EXPECT_EQ(read(alert), std::nullopt);
  auto serverHello = hello;
  serverHello[5] = 2;
  EXPECT_EQ(read(serverHello), std::nullopt);
  EXPECT_EQ(read(bytesOf("GET / HTTP/1.1\r\nHost: a.example\r\n\r\n")), std::nullopt);
}

TEST(ServerNameReaderTest, BufferEndingInsideTheCipherSuitesGivesNothing) {
  const auto hello = ClientHelloBuilder{}.serverName("a.example").build();
  // 44 + 32 (session id) + 2 (suites length) + 3 of the 8 suite bytes.
  EXPECT_EQ(read(Bytes(hello.begin(), hello.begin() + 81)), std::nullopt);
}

TEST(ServerNameReaderTest, ExtensionsLengthBeyondTheBufferIsBoundedByIt) {
  ClientHelloBuilder builder;
  builder.serverName("inside.example").extension(21, Bytes(10, 0));
  builder.extensionsLengthOverride = 60000;
  EXPECT_EQ(read(builder.build()), "inside.example");

  ClientHelloBuilder cut;
  cut.extension(21, Bytes(10, 0)).serverName("cut.example");
  const auto bytes = cut.build();
  // One byte short: the server_name extension no longer fits.
  EXPECT_EQ(extractServerName(std::span(bytes).first(bytes.size() - 1)), std::nullopt);
}

TEST(ServerNameReaderTest, ExtensionsLengthShorterThanTheExtensionsHidesTheRest) {
  ClientHelloBuilder builder;
  builder.extension(21, Bytes(10, 0)).serverName("hidden.example");
  builder.extensionsLengthOverride = 14;
  EXPECT_EQ(read(builder.build()), std::nullopt);
}

TEST(ServerNameReaderTest, SkipsOtherNameTypesAndUsesTheFirstHostName) {
  const auto body =
      serverNameBody({{1, bytesOf("not-a-host")}, {0, bytesOf("first.example")}, {0, bytesOf("second.example")}});
  EXPECT_EQ(read(ClientHelloBuilder{}.extension(0, body).build()), "first.example");

  // Only the first server_name extension counts.
  const auto onlyOther = serverNameBody({{1, bytesOf("other")}});
  EXPECT_EQ(read(ClientHelloBuilder{}.extension(0, onlyOther).serverName("later.example").build()), std::nullopt);
}

TEST(ServerNameReaderTest, NameLengthsMustStayInsideTheList) {
  auto body = serverNameBody("long.example");
  body[4] = 0x40;  // the entry claims more bytes than the list holds
  EXPECT_EQ(read(ClientHelloBuilder{}.extension(0, body).build()), std::nullopt);

  auto shortList = serverNameBody("a.example");
  shortList[1] = 5;  // list length shorter than its first entry
  EXPECT_EQ(read(ClientHelloBuilder{}.extension(0, shortList).build()), std::nullopt);

  EXPECT_EQ(read(ClientHelloBuilder{}.extension(0, {0x00}).build()), std::nullopt);
}

TEST(ServerNameReaderTest, NameLengthsMustStayInsideTheExtensionWhenMoreExtensionsFollow) {
  const auto hello = [](const Bytes& serverName) {
    return ClientHelloBuilder{}.extension(0, serverName).extension(0x6162, bytesOf("cdef")).build();
  };
  auto body = serverNameBody("a.example");
  ASSERT_EQ(read(hello(body)), "a.example");

  // The list and its entry both claim the 8 bytes of the next extension, which do lie inside the hello.
  body[1] += 8;
  body[4] += 8;
  EXPECT_EQ(read(hello(body)), std::nullopt);
}

TEST(ServerNameReaderTest, ZeroLengthNameIsTheEmptyText) {
  EXPECT_EQ(read(ClientHelloBuilder{}.serverName("").build()), "");
}

TEST(ServerNameReaderTest, NamesAreLowerCasedAndMustBeUtf8) {
  EXPECT_EQ(read(ClientHelloBuilder{}.serverName("WWW.Example.COM.").build()), "www.example.com.");
  EXPECT_EQ(read(ClientHelloBuilder{}
                     .serverName("B\xC3\x9C"
                                 "CHER.example")
                     .build()),
            "b\xC3\xBC"
            "cher.example");

  for (const auto& invalid :
       {Bytes{'a', 0xFF, 'b'}, Bytes{0xC0, 0x80}, Bytes{0xED, 0xA0, 0x80}, Bytes{'x', 0xE2, 0x82}}) {
    EXPECT_EQ(read(ClientHelloBuilder{}.extension(0, serverNameBody({{0, invalid}})).build()), std::nullopt);
  }
}

TEST(ServerNameReaderTest, VariableFieldsOfEveryLengthAreSkipped) {
  for (const std::size_t sessionId : {0u, 1u, 32u, 255u}) {
    for (const std::size_t compression : {1u, 2u, 255u}) {
      ClientHelloBuilder builder;
      builder.sessionId = Bytes(sessionId, 0x11);
      builder.compressionMethods = Bytes(compression, 0);
      builder.cipherSuites = std::vector<std::uint16_t>(100, 0x1301);
      builder.serverName("fields.example");
      EXPECT_EQ(read(builder.build()), "fields.example") << sessionId << "/" << compression;
    }
  }
  ClientHelloBuilder noExtensions;
  noExtensions.extensionsLengthOverride = 0;
  EXPECT_EQ(read(noExtensions.build()), std::nullopt);
}

}  // namespace
}  // namespace velmoria::filter
