#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <regex>
#include <system_error>

#include <gtest/gtest.h>

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
  form.append(velmoria::base::dataFromString("first"), "a");
  form.append(velmoria::base::dataFromString("second"), "b", "f.txt", "text/plain");
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
  one.append(velmoria::base::Data{}, "only");
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
  form.append(velmoria::base::dataFromString("x"), "say \"hi\"", "a\"; filename=\"evil.sh", "text/plain");
  form.append(velmoria::base::dataFromString("y"), "two\r\nX-Injected: 1");
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
  form.append(velmoria::base::dataFromString("caf\xC3\xA9"), "", name, "text/plain;charset=UTF-8");
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
  form.append(velmoria::base::dataFromString("3600"), "cacheControl");
  form.append(velmoria::base::URL::fileURL(path.string()), "");
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
  const auto plain = velmoria::base::URL::fileURL(folder.write("README", "text").string());
  const auto missing = velmoria::base::URL::fileURL((folder.path() / "gone.txt").string());
  MultipartFormData form;
  form.append(plain, "");
  form.append(missing, "");
  form.append(velmoria::base::dataFromString("later"), "kept");
  EXPECT_EQ(form.bodyParts().size(), 1u);
  const auto error = encodingError(form);
  EXPECT_EQ(error.kind(), Kind::bodyPartFilenameInvalid);
  EXPECT_EQ(error.url(), plain);
}

TEST(MultipartFilePartTest, UnusableFileURLsAreRecordedByKind) {
  TemporaryFolder folder;
  const auto file = folder.write("file.txt", "x");
  const auto check = [](const velmoria::base::URL& url, Kind expected) {
    MultipartFormData form;
    form.append(url, "", "name.bin", "application/octet-stream");
    ASSERT_TRUE(form.bodyPartError()) << url.absoluteString();
    EXPECT_EQ(form.bodyPartError()->kind(), expected) << url.absoluteString();
    EXPECT_EQ(form.bodyPartError()->url(), url);
    EXPECT_TRUE(form.bodyParts().empty());
  };
  check(velmoria::base::URL::fileURL((folder.path() / "missing.txt").string()), Kind::bodyPartFileIsDirectory);
  check(velmoria::base::URL::fileURL(folder.path().string(), true), Kind::bodyPartFileIsDirectory);
  check(velmoria::base::URL::fileURL((file / "inside.txt").string()), Kind::bodyPartFileNotReachable);
  check(testing::url("https://example.test/file.txt"), Kind::bodyPartURLInvalid);
  const auto fifo = folder.path() / "pipe.bin";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  check(velmoria::base::URL::fileURL(fifo.string()), Kind::bodyPartFileSizeNotAvailable);
  if (geteuid() != 0) {
    const auto locked = folder.write("locked.txt", "secret");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    check(velmoria::base::URL::fileURL(locked.string()), Kind::bodyPartInputStreamCreationFailed);
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

// ---- Bodies read while they are sent --------------------------------------------------------------

std::string patterned(std::size_t size) {
  std::string content(size, '\0');
  for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 131) >> 3);
  return content;
}

// An upload's parts around the file: cache control and metadata before it, a data part after it.
void appendAroundFile(MultipartFormData& form, const std::filesystem::path& file) {
  form.append(velmoria::base::dataFromString("3600"), "cacheControl");
  form.append(velmoria::base::dataFromString(R"({"k":"v"})"), "metadata");
  form.append(velmoria::base::URL::fileURL(file.string()), "");
  form.append(velmoria::base::dataFromString("after"), "tail", "t.txt", "text/plain");
}

// Everything one reader delivers, in reads of at most `piece` bytes.
std::string readAll(helpers::HTTPBodyStream::Reader& reader, std::size_t piece) {
  std::string out;
  std::vector<std::uint8_t> buffer(piece);
  while (const std::size_t count = reader.read(buffer)) out.append(buffer.begin(), buffer.begin() + count);
  return out;
}

std::string replacedAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// What a reader delivered before it threw, and what it threw.
struct BrokenRead {
  std::string delivered;
  std::exception_ptr error;
};
BrokenRead readUntilFailure(helpers::HTTPBodyStream::Reader& reader, std::size_t piece,
                            const std::function<void()>& afterFirstRead = {}) {
  BrokenRead result;
  std::vector<std::uint8_t> buffer(piece);
  try {
    bool first = true;
    while (const std::size_t count = reader.read(buffer)) {
      result.delivered.append(buffer.begin(), buffer.begin() + count);
      if (first && afterFirstRead) afterFirstRead();
      first = false;
    }
  } catch (...) {
    result.error = std::current_exception();
  }
  return result;
}

MultipartFormDataError formError(const std::exception_ptr& error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const MultipartFormDataError& failure) {
    return failure;
  } catch (...) {
  }
  throw std::runtime_error("not a MultipartFormDataError");
}

TEST(MultipartStreamedBodyTest, AStreamedFormIsByteForByteTheEncodedOne) {
  TemporaryFolder folder;
  for (const std::size_t size : {std::size_t{0}, std::size_t{5}, std::size_t{300 * 1024 + 3}}) {
    const auto file = folder.write("photo.jpg", patterned(size));
    MultipartFormData streamed;
    appendAroundFile(streamed, file);
    ScriptedStream::Log log;
    streamed.append(std::make_unique<ScriptedStream>("stream", 6, false, false, log), 6, contentHeaders("s", {}, {}));
    MultipartFormData encoded;
    appendAroundFile(encoded, file);
    encoded.append(std::make_unique<ScriptedStream>("stream", 6, false, false, log), 6, contentHeaders("s", {}, {}));
    const std::string expected = replacedAll(text(encoded.encode()), encoded.boundary(), streamed.boundary());

    const auto body = streamed.encodedStream();
    EXPECT_EQ(body->length(), expected.size());
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4093}, std::size_t{2 << 20}}) {
      if (piece < 1024 && size > 1024) continue;
      const auto reader = body->open();
      EXPECT_TRUE(readAll(*reader, piece) == expected) << size << " bytes read " << piece << " at a time";
    }
  }
}

TEST(MultipartStreamedBodyTest, EachReaderStartsFromTheFirstByteAndFormErrorsComeFirst) {
  TemporaryFolder folder;
  const auto file = folder.write("a.bin", patterned(100 * 1024));
  MultipartFormData form;
  appendAroundFile(form, file);
  const auto body = form.encodedStream();
  const auto first = body->open();
  std::vector<std::uint8_t> part(4096);
  ASSERT_EQ(first->read(part), part.size());
  const auto second = body->open();
  const std::string whole = readAll(*second, 9000);
  EXPECT_EQ(whole.size(), body->length());
  EXPECT_TRUE(std::string(part.begin(), part.end()) + readAll(*first, 5000) == whole);

  MultipartFormData broken;
  broken.append(velmoria::base::URL::fileURL((folder.path() / "none.txt").string()), "");
  try {
    broken.encodedStream();
    ADD_FAILURE() << "a recorded error was not thrown";
  } catch (const MultipartFormDataError& error) {
    EXPECT_EQ(error.kind(), Kind::bodyPartFileIsDirectory);
  }
}

// Whatever happens to the file, the bytes after it (the closing delimiter) never go out.
TEST(MultipartStreamedBodyTest, AFileThatChangesOrVanishesWhileItIsSentFailsBeforeTheBodyEnds) {
  TemporaryFolder folder;
  const std::string content = patterned(300 * 1024);
  const auto prepared = [&](MultipartFormData& form) {
    const auto file = folder.write("f.bin", content);
    form.append(velmoria::base::dataFromString("3600"), "cacheControl");
    form.append(velmoria::base::URL::fileURL(file.string()), "");
    return file;
  };
  const auto closing = [](const MultipartFormData& form) { return "--" + form.boundary() + "--"; };

  {
    MultipartFormData form;
    const auto file = prepared(form);
    const auto reader = form.encodedStream()->open();
    const auto read = readUntilFailure(*reader, 64 * 1024, [&] { std::filesystem::resize_file(file, 100 * 1024); });
    const auto length = lengthError(formError(read.error));
    EXPECT_EQ(length.bytesExpected, content.size());
    EXPECT_EQ(length.bytesRead, 100u * 1024);
    EXPECT_EQ(read.delivered.find(closing(form)), std::string::npos);
  }
  {
    MultipartFormData form;
    const auto file = prepared(form);
    const auto reader = form.encodedStream()->open();
    const auto read = readUntilFailure(*reader, 64 * 1024, [&] { std::ofstream(file, std::ios::app) << "more"; });
    const auto length = lengthError(formError(read.error));
    EXPECT_EQ(length.bytesExpected, content.size());
    EXPECT_EQ(length.bytesRead, content.size() + 4);
    EXPECT_EQ(read.delivered.find(closing(form)), std::string::npos);
  }
  {
    MultipartFormData form;
    const auto file = prepared(form);
    const auto reader = form.encodedStream()->open();
    const auto read = readUntilFailure(*reader, 64 * 1024, [&] { std::filesystem::remove(file); });
    const auto error = formError(read.error);
    EXPECT_EQ(error.kind(), Kind::inputStreamReadFailed);
    EXPECT_THROW(std::rethrow_exception(error.underlyingError()), std::system_error);
    EXPECT_EQ(read.delivered.find(closing(form)), std::string::npos);
  }
  {
    // Gone before sending starts: the reader cannot be made, so not a byte leaves.
    MultipartFormData form;
    const auto file = prepared(form);
    const auto body = form.encodedStream();
    std::filesystem::remove(file);
    try {
      body->open();
      ADD_FAILURE() << "a reader was made for a removed file";
    } catch (const MultipartFormDataError& error) {
      EXPECT_EQ(error.kind(), Kind::inputStreamReadFailed);
    }
  }
}

// ---- Helpers and the older builder ----------------------------------------------------------------

TEST(MultipartHelpersTest, MetadataThatCannotBeEncodedBecomesAnEmptyObject) {
  EXPECT_EQ(text(metadataJSON({{"a", helpers::AnyJSON(1)}})), "{\"a\":1}");
  EXPECT_EQ(text(metadataJSON({{"bad", helpers::AnyJSON(std::nan(""))}})), "{}");
  EXPECT_EQ(text(metadataJSON({{"text", helpers::AnyJSON(std::string("\xFF\xFE"))}})), "{}");
}

TEST(LegacyFormDataTest, WritesTheSameLayoutWithUnderscoresForQuotesInFileNames) {
  FormData legacy("legacy-boundary");
  legacy.append(File{"a", velmoria::base::dataFromString("first"), std::nullopt, std::nullopt});
  legacy.append(File{"b", velmoria::base::dataFromString("second"), "my \"best\".txt", "text/plain"});
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
  File file{"f", velmoria::base::dataFromString("old"), std::nullopt, std::nullopt};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  file.fileData() = velmoria::base::dataFromString("new");
  EXPECT_EQ(text(std::as_const(file).fileData()), "new");
#pragma GCC diagnostic pop
  EXPECT_EQ(text(file.data), "new");
  EXPECT_EQ(std::hash<File>{}(file), std::hash<File>{}(File{"f", velmoria::base::dataFromString("new"), {}, {}}));
  EXPECT_NE(std::hash<File>{}(file), std::hash<File>{}(File{"f", velmoria::base::dataFromString("new"), "n", {}}));
}

}  // namespace
}  // namespace zirudeze::storage
