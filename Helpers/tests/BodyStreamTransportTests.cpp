// Request bodies read while they are sent: how they reach the wire, and how a body that cannot be
// produced as announced fails the request instead of leaving a truncated one on the server.
#include <atomic>
#include <stdexcept>

#include <gtest/gtest.h>

#include "helpers/CurlTransport.hpp"
#include "helpers/HTTPRequest.hpp"
#include "helpers/URLError.hpp"
#include "testsupport/FakeBackend.hpp"

namespace zirudeze::helpers {
namespace {

using velmoria::testsupport::FakeBackend;
using velmoria::testsupport::ScriptedResponse;

// `text` in pieces of at most `piece` bytes; `shortBy` bytes fewer than it announces, or a throw after
// `throwAfter` bytes.
class TextStream final : public HTTPBodyStream {
 public:
  explicit TextStream(std::string text, std::size_t piece = 1000) : text_(std::move(text)), piece_(piece) {}

  std::size_t shortBy = 0;
  std::optional<std::size_t> throwAfter;
  bool refusesToOpen = false;
  mutable std::atomic<int> opened{0};

  std::uint64_t length() const override { return text_.size(); }
  std::unique_ptr<Reader> open() const override {
    if (refusesToOpen) throw std::runtime_error("source gone");
    ++opened;
    return std::make_unique<TextReader>(*this);
  }

 private:
  class TextReader final : public Reader {
   public:
    explicit TextReader(const TextStream& stream) : stream_(stream) {}
    std::size_t read(std::span<std::uint8_t> buffer) override {
      if (stream_.throwAfter && position_ >= *stream_.throwAfter) throw std::runtime_error("read failed");
      const std::size_t end = stream_.text_.size() - stream_.shortBy;
      const std::size_t count = std::min({buffer.size(), stream_.piece_, end - position_});
      std::copy_n(stream_.text_.data() + position_, count, buffer.data());
      position_ += count;
      return count;
    }

   private:
    const TextStream& stream_;
    std::size_t position_ = 0;
  };

  std::string text_;
  std::size_t piece_;
};

std::string pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7) % 26);
  return text;
}

class BodyStreamTransportTest : public ::testing::Test {
 protected:
  URLRequest request(std::string method, std::shared_ptr<const HTTPBodyStream> body) {
    URLRequest request;
    request.url = backend.url("/up");
    request.httpMethod = std::move(method);
    request.setValue("application/octet-stream", "Content-Type");
    request.httpBodyStream = std::move(body);
    // A body sent short leaves the server waiting for the rest: such a fault fails in seconds, not after
    // the default minute.
    request.timeoutInterval = 5;
    return request;
  }

  FakeBackend backend;
  CurlTransport transport;
};

TEST_F(BodyStreamTransportTest, TheStreamIsTheBodyWithItsLengthAnnounced) {
  backend.respond("*", "/up", ScriptedResponse::text(201, "stored"));
  const std::string text = pattern(1024 * 1024 + 17);
  for (const char* method : {"POST", "PUT", "PATCH"}) {
    const auto result = transport.data(request(method, std::make_shared<TextStream>(text, 4093)));
    EXPECT_EQ(velmoria::base::stringFromData(result.first), "stored");
    const auto seen = backend.lastRequest();
    EXPECT_EQ(seen.method, method);
    EXPECT_EQ(seen.header("Content-Length"), std::to_string(text.size()));
    EXPECT_FALSE(seen.header("Transfer-Encoding"));
    EXPECT_TRUE(seen.body == text) << method;
  }
  // An empty stream is an empty body, and bytes given as httpBody win over a stream.
  transport.data(request("POST", std::make_shared<TextStream>("")));
  EXPECT_EQ(backend.lastRequest().header("Content-Length"), "0");
  auto both = request("PUT", std::make_shared<TextStream>("streamed"));
  both.httpBody = velmoria::base::dataFromString("bytes");
  transport.data(both);
  EXPECT_EQ(backend.lastRequest().body, "bytes");
  EXPECT_EQ(backend.connectionCount(), 1);
}

TEST_F(BodyStreamTransportTest, ABodyThatCannotBeProducedFailsTheRequestAndNothingArrives) {
  backend.respond("*", "/up", ScriptedResponse::text(200, "stored"));
  const std::string text = pattern(200 * 1024);

  auto shortStream = std::make_shared<TextStream>(text);
  shortStream->shortBy = 10;
  auto cutShort = request("POST", shortStream);
  cutShort.timeoutInterval = 5;  // a transport that waited for the missing bytes would fail only after this
  try {
    transport.data(cutShort);
    ADD_FAILURE() << "a body ten bytes short was sent";
  } catch (const URLError& error) {
    EXPECT_EQ(error.code(), URLError::Code::requestBodyStreamExhausted);
  }

  auto failing = std::make_shared<TextStream>(text);
  failing->throwAfter = 100 * 1024;
  try {
    transport.data(request("PUT", failing));
    ADD_FAILURE() << "a body that failed to read was sent";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "read failed");
  }
  EXPECT_EQ(backend.requestCount(), 0u);

  auto unopenable = std::make_shared<TextStream>(text);
  unopenable->refusesToOpen = true;
  const int connections = backend.connectionCount();
  EXPECT_THROW(transport.data(request("POST", unopenable)), std::runtime_error);
  EXPECT_EQ(backend.connectionCount(), connections) << "nothing is sent for a body that cannot be opened";

  // The handle goes back to the pool in good order.
  transport.data(request("POST", std::make_shared<TextStream>("after")));
  EXPECT_EQ(backend.lastRequest().body, "after");
}

// A kept-alive connection the server has dropped is only found dead once the next request went out on
// it; the request is then sent again on a new connection, its body read again from the start.
TEST_F(BodyStreamTransportTest, ARequestResentOnANewConnectionReadsItsBodyAgain) {
  backend.script(
      "POST", "/up",
      {ScriptedResponse::text(200, "first"), ScriptedResponse::dropped(), ScriptedResponse::text(200, "again")});
  transport.data(request("POST", std::make_shared<TextStream>("warm-up")));
  const std::string text = pattern(100 * 1024);
  const auto stream = std::make_shared<TextStream>(text);
  std::string answer;
  EXPECT_NO_THROW(answer = velmoria::base::stringFromData(transport.data(request("POST", stream)).first));
  EXPECT_EQ(answer, "again");
  EXPECT_EQ(stream->opened, 2);
  const auto requests = backend.requests();
  ASSERT_EQ(requests.size(), 3u) << "the request sent again never arrived whole";
  EXPECT_EQ(requests[2].body.size(), text.size());
  EXPECT_TRUE(requests[2].body == text);
  EXPECT_NE(requests[2].connectionIndex, requests[1].connectionIndex);
}

TEST_F(BodyStreamTransportTest, ARedirectThatKeepsTheMethodReadsTheBodyAgain) {
  backend.respond("PUT", "/up", ScriptedResponse::text(307, "").withHeader("Location", "/landing"));
  backend.respond("PUT", "/landing", ScriptedResponse::text(200, "landed"));
  const std::string text = pattern(100 * 1024);
  const auto stream = std::make_shared<TextStream>(text);
  std::string answer;
  EXPECT_NO_THROW(answer = velmoria::base::stringFromData(transport.data(request("PUT", stream)).first));
  EXPECT_EQ(answer, "landed");
  EXPECT_EQ(stream->opened, 2);
  const auto arrived = backend.lastRequest();
  EXPECT_EQ(arrived.path, "/landing");
  EXPECT_TRUE(arrived.body == text);
}

TEST(HTTPRequestBodyStreamTest, TheTransferRequestCarriesTheStreamAndNamesJSONWhenNoTypeIsGiven) {
  auto request = *HTTPRequest::make("https://example.com/a", HTTPRequest::Method::put());
  request.bodyStream = std::make_shared<TextStream>("{}");
  const URLRequest transfer = request.urlRequest();
  EXPECT_EQ(transfer.httpBodyStream, request.bodyStream);
  EXPECT_FALSE(transfer.httpBody);
  EXPECT_EQ(transfer.value("Content-Type"), "application/json");

  request.body = velmoria::base::dataFromString("bytes");
  EXPECT_FALSE(request.urlRequest().httpBodyStream) << "bytes win";
  const URLRequest moved = std::move(request).urlRequest();
  EXPECT_FALSE(moved.httpBodyStream);
}

}  // namespace
}  // namespace zirudeze::helpers
