#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <limits>
#include <regex>

#include "StorageTestSupport.hpp"
#include "storage/FormData.hpp"
#include "storage/MultipartFormData.hpp"

namespace zirudeze::storage {
namespace {

using testing::hex;
using testing::RecordedBody;
using testing::sha256Hex;
using testing::TemporaryFolder;
using testing::text;
using Kind = MultipartFormDataError::Kind;

// Delivers `content`, but stops after `deliver` bytes, and then either ends or fails (with an error of
// its own or none). Remembers the sizes it was asked for and whether it was closed.
class ScriptedStream final : public InputStream {
 public:
  struct Log {
    std::vector<std::size_t> requested;
    bool opened = false;
    bool closed = false;
  };
  ScriptedStream(std::string content, std::size_t deliver, bool failsAtLimit, bool hasError, Log& log)
      : content_(std::move(content)), deliver_(deliver), fails_(failsAtLimit), hasError_(hasError), log_(log) {}

  void open() override { log_.opened = true; }
  void close() override { log_.closed = true; }
  bool hasBytesAvailable() const override { return !done_; }
  std::ptrdiff_t read(std::span<std::uint8_t> buffer) override {
    log_.requested.push_back(buffer.size());
    const std::size_t limit = std::min(deliver_, content_.size());
    if (position_ >= limit) {
      done_ = true;
      return fails_ ? -1 : 0;
    }
    const std::size_t count = std::min(buffer.size(), limit - position_);
    std::copy_n(content_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
    position_ += count;
    return static_cast<std::ptrdiff_t>(count);
  }
  std::exception_ptr streamError() const override {
    return hasError_ ? std::make_exception_ptr(std::runtime_error("disk gone")) : nullptr;
  }

 private:
  std::string content_;
  std::size_t deliver_;
  bool fails_;
  bool hasError_;
  Log& log_;
  std::size_t position_ = 0;
  bool done_ = false;
};

MultipartFormDataError encodingError(MultipartFormData& form) {
  try {
    form.encode();
  } catch (const MultipartFormDataError& error) {
    return error;
  }
  throw std::runtime_error("encode did not fail");
}

// The UnexpectedInputStreamLength under an inputStreamReadFailed.
UnexpectedInputStreamLength lengthError(const MultipartFormDataError& error) {
  EXPECT_EQ(error.kind(), Kind::inputStreamReadFailed);
  try {
    std::rethrow_exception(error.underlyingError());
  } catch (const UnexpectedInputStreamLength& length) {
    return length;
  } catch (...) {
  }
  throw std::runtime_error("no UnexpectedInputStreamLength");
}

RecordedBody recorded(MultipartFormData& form) { return {form.contentType(), text(form.encode())}; }

// ---- Layout ---------------------------------------------------------------------------------------

TEST(MultipartLayoutTest, TwoDataPartsEncodeToTheExactLayout) {
  MultipartFormData form;
  form.append(base::dataFromString("first"), "a");
  form.append(base::dataFromString("second"), "b", "f.txt", "text/plain");
  const std::string b = form.boundary();
  EXPECT_EQ(text(form.encode()),
            "--" + b + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nfirst\r\n--" + b +
                "\r\nContent-Disposition: form-data; name=\"b\"; filename=\"f.txt\"\r\nContent-Type: text/plain\r\n\r\n"
                "second\r\n--" +
                b + "--\r\n");
}

TEST(MultipartLayoutTest, OnePartCarriesBothDelimitersAndNoPartsGiveNoBytes) {
  MultipartFormData empty;
  EXPECT_TRUE(empty.encode().empty());

  MultipartFormData one;
  one.append(base::Data{}, "only");
  const std::string b = one.boundary();
  EXPECT_EQ(text(one.encode()),
            "--" + b + "\r\nContent-Disposition: form-data; name=\"only\"\r\n\r\n\r\n--" + b + "--\r\n");
}

TEST(MultipartLayoutTest, BoundariesAreFreshRandomHexUnderTheFixedPrefix) {
  const std::regex pattern("zirudeze\\.boundary\\.[0-9a-f]{16}");
  std::set<std::string> seen;
  for (int i = 0; i < 64; ++i) {
    MultipartFormData form;
    EXPECT_TRUE(std::regex_match(form.boundary(), pattern)) << form.boundary();
    EXPECT_EQ(form.contentType(), "multipart/form-data; boundary=" + form.boundary());
    seen.insert(form.boundary());
  }
  EXPECT_EQ(seen.size(), 64u);
  EXPECT_EQ(MultipartFormData().streamBufferSize(), 1024u);
}

TEST(MultipartLayoutTest, QuotesInNamesAndFileNamesCannotEndTheQuotedValue) {
  MultipartFormData form;
  form.append(base::dataFromString("x"), "say \"hi\"", "a\"; filename=\"evil.sh", "text/plain");
  form.append(base::dataFromString("y"), "two\r\nX-Injected: 1");
  const auto body = recorded(form);
  EXPECT_NE(body.body.find("name=\"say %22hi%22\"; filename=\"a%22; filename=%22evil.sh\""), std::string::npos);
  EXPECT_EQ(body.body.find("\r\nX-Injected"), std::string::npos);

  for (const auto& reading : {testing::readWithEmailParser({body}), testing::readWithBusboy({body})}) {
    ASSERT_EQ(reading.size(), 1u);
    ASSERT_EQ(reading[0].parts.size(), 2u);
    EXPECT_EQ(reading[0].parts[0].name, "say %22hi%22");
    EXPECT_EQ(reading[0].parts[0].fileName, "a%22; filename=%22evil.sh");
    EXPECT_EQ(reading[0].parts[1].name, "two  X-Injected: 1");
  }
}

TEST(MultipartLayoutTest, NonASCIIFileNamesArriveAsTheirUTF8Bytes) {
  const std::string name = "R\xC3\xA9sum\xC3\xA9 \xE2\x9C\x93.txt";
  MultipartFormData form;
  form.append(base::dataFromString("caf\xC3\xA9"), "", name, "text/plain;charset=UTF-8");
  const auto body = recorded(form);
  for (const auto& reading : {testing::readWithEmailParser({body}), testing::readWithBusboy({body})}) {
    ASSERT_EQ(reading[0].parts.size(), 1u);
    EXPECT_EQ(hex(reading[0].parts[0].fileName.value_or("")), hex(name));
    EXPECT_EQ(reading[0].parts[0].name, "");
    EXPECT_EQ(reading[0].parts[0].length, 5u);
    EXPECT_EQ(reading[0].parts[0].sha256, sha256Hex("caf\xC3\xA9"));
  }
}

// ---- File parts -----------------------------------------------------------------------------------

TEST(MultipartFilePartTest, AFileIsReadWithTheNameAndTypeOfItsURL) {
  TemporaryFolder folder;
  std::string content(5000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  const auto path = folder.write("picture.PNG", content);

  MultipartFormData form;
  form.append(base::dataFromString("3600"), "cacheControl");
  form.append(base::URL::fileURL(path.string()), "");
  ASSERT_FALSE(form.bodyPartError());
  EXPECT_EQ(form.bodyParts().back().bodyContentLength, 5000u);
  const auto body = recorded(form);
  EXPECT_NE(body.body.find("filename=\"picture.PNG\"\r\nContent-Type: image/png\r\n"), std::string::npos);
  for (const auto& reading : {testing::readWithEmailParser({body}), testing::readWithBusboy({body})}) {
    ASSERT_EQ(reading[0].parts.size(), 2u);
    EXPECT_EQ(reading[0].parts[1].fileName, "picture.PNG");
    EXPECT_EQ(reading[0].parts[1].length, 5000u);
    EXPECT_EQ(reading[0].parts[1].sha256, sha256Hex(content));
  }
}

TEST(MultipartFilePartTest, AFileURLWithoutExtensionIsRecordedAheadOfLaterParts) {
  TemporaryFolder folder;
  const auto plain = base::URL::fileURL(folder.write("README", "text").string());
  const auto missing = base::URL::fileURL((folder.path() / "gone.txt").string());
  MultipartFormData form;
  form.append(plain, "");
  form.append(missing, "");
  form.append(base::dataFromString("later"), "kept");
  EXPECT_EQ(form.bodyParts().size(), 1u);
  const auto error = encodingError(form);
  EXPECT_EQ(error.kind(), Kind::bodyPartFilenameInvalid);
  EXPECT_EQ(error.url(), plain);
}

TEST(MultipartFilePartTest, UnusableFileURLsAreRecordedByKind) {
  TemporaryFolder folder;
  const auto file = folder.write("file.txt", "x");
  const auto check = [](const base::URL& url, Kind expected) {
    MultipartFormData form;
    form.append(url, "", "name.bin", "application/octet-stream");
    ASSERT_TRUE(form.bodyPartError()) << url.absoluteString();
    EXPECT_EQ(form.bodyPartError()->kind(), expected) << url.absoluteString();
    EXPECT_EQ(form.bodyPartError()->url(), url);
    EXPECT_TRUE(form.bodyParts().empty());
  };
  check(base::URL::fileURL((folder.path() / "missing.txt").string()), Kind::bodyPartFileIsDirectory);
  check(base::URL::fileURL(folder.path().string(), true), Kind::bodyPartFileIsDirectory);
  check(base::URL::fileURL((file / "inside.txt").string()), Kind::bodyPartFileNotReachable);
  check(testing::url("https://example.test/file.txt"), Kind::bodyPartURLInvalid);
  const auto fifo = folder.path() / "pipe.bin";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  check(base::URL::fileURL(fifo.string()), Kind::bodyPartFileSizeNotAvailable);
  if (geteuid() != 0) {
    const auto locked = folder.write("locked.txt", "secret");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    check(base::URL::fileURL(locked.string()), Kind::bodyPartInputStreamCreationFailed);
  }
}

// ---- Streams --------------------------------------------------------------------------------------

TEST(MultipartStreamTest, StreamsAreReadInBufferSizedReadsAndClosed) {
  ScriptedStream::Log log;
  MultipartFormData form;
  form.append(std::make_unique<ScriptedStream>(std::string(3000, 'z'), 3000, false, false, log), 3000,
              contentHeaders("s", std::nullopt, std::nullopt));
  const auto body = text(form.encode());
  EXPECT_NE(body.find(std::string(3000, 'z') + "\r\n--"), std::string::npos);
  EXPECT_TRUE(log.opened);
  EXPECT_TRUE(log.closed);
  ASSERT_FALSE(log.requested.empty());
  for (const auto size : log.requested) EXPECT_EQ(size, 1024u);
}

TEST(MultipartStreamTest, AShortReadReportsTheDeclaredAndDeliveredCounts) {
  ScriptedStream::Log log;
  MultipartFormData form;
  form.append(std::make_unique<ScriptedStream>("abcdefghij", 4, false, false, log), 10, contentHeaders("s", {}, {}));
  const auto length = lengthError(encodingError(form));
  EXPECT_EQ(length.bytesExpected, 10u);
  EXPECT_EQ(length.bytesRead, 4u);
  EXPECT_TRUE(log.closed);

  MultipartFormData longer;
  longer.append(std::make_unique<ScriptedStream>("abcdef", 6, false, false, log), 2, contentHeaders("s", {}, {}));
  const auto tooMuch = lengthError(encodingError(longer));
  EXPECT_EQ(tooMuch.bytesExpected, 2u);
  EXPECT_EQ(tooMuch.bytesRead, 6u);
}

TEST(MultipartStreamTest, AFailingReadCarriesTheStreamsOwnErrorWhenItHasOne) {
  ScriptedStream::Log log;
  MultipartFormData own;
  own.append(std::make_unique<ScriptedStream>("abcdef", 3, true, true, log), 6, contentHeaders("s", {}, {}));
  const auto error = encodingError(own);
  EXPECT_EQ(error.kind(), Kind::inputStreamReadFailed);
  try {
    std::rethrow_exception(error.underlyingError());
  } catch (const std::runtime_error& cause) {
    EXPECT_STREQ(cause.what(), "disk gone");
  }
  EXPECT_TRUE(log.closed);

  MultipartFormData silent;
  silent.append(std::make_unique<ScriptedStream>("abcdef", 3, true, false, log), 6, contentHeaders("s", {}, {}));
  const auto length = lengthError(encodingError(silent));
  EXPECT_EQ(length.bytesExpected, 6u);
  EXPECT_EQ(length.bytesRead, 3u);
}

// ---- Helpers and the older builder ----------------------------------------------------------------

TEST(MultipartHelpersTest, MetadataThatCannotBeEncodedBecomesAnEmptyObject) {
  EXPECT_EQ(text(metadataJSON({{"a", helpers::AnyJSON(1)}})), "{\"a\":1}");
  EXPECT_EQ(text(metadataJSON({{"bad", helpers::AnyJSON(std::nan(""))}})), "{}");
  EXPECT_EQ(text(metadataJSON({{"text", helpers::AnyJSON(std::string("\xFF\xFE"))}})), "{}");
}

TEST(LegacyFormDataTest, WritesTheSameLayoutWithUnderscoresForQuotesInFileNames) {
  FormData legacy("legacy-boundary");
  legacy.append(File{"a", base::dataFromString("first"), std::nullopt, std::nullopt});
  legacy.append(File{"b", base::dataFromString("second"), "my \"best\".txt", "text/plain"});
  EXPECT_EQ(legacy.contentType(), "multipart/form-data; boundary=legacy-boundary");
  EXPECT_EQ(text(legacy.data()),
            "--legacy-boundary\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nfirst\r\n"
            "--legacy-boundary\r\nContent-Disposition: form-data; name=\"b\"; filename=\"my _best_.txt\"\r\n"
            "Content-Type: text/plain\r\n\r\nsecond\r\n--legacy-boundary--\r\n");
  EXPECT_EQ(text(FormData("e").data()), "--e--\r\n");

  FormData quoted("q");
  quoted.append(File{"say \"x\"", {}, std::nullopt, std::nullopt});
  EXPECT_NE(text(quoted.data()).find("name=\"say %22x%22\""), std::string::npos);
}

TEST(LegacyFormDataTest, TheOldDataAccessorReadsAndWritesTheBytes) {
  File file{"f", base::dataFromString("old"), std::nullopt, std::nullopt};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  file.fileData() = base::dataFromString("new");
  EXPECT_EQ(text(std::as_const(file).fileData()), "new");
#pragma GCC diagnostic pop
  EXPECT_EQ(text(file.data), "new");
  EXPECT_EQ(std::hash<File>{}(file), std::hash<File>{}(File{"f", base::dataFromString("new"), {}, {}}));
  EXPECT_NE(std::hash<File>{}(file), std::hash<File>{}(File{"f", base::dataFromString("new"), "n", {}}));
}

}  // namespace
}  // namespace zirudeze::storage
