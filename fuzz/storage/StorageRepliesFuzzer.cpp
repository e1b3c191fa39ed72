// Service replies from outside, read by every storage operation that decodes one: the bytes are the
// reply body of a 2xx answer and of a refusal, and also the signed URL text the service hands back.
// Nothing may crash or escape as anything but an exception.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "helpers/HTTPError.hpp"
#include "storage/StorageCoders.hpp"
#include "storage/ZirudezeStorageClient.hpp"

namespace storage = zirudeze::storage;
namespace helpers = zirudeze::helpers;

namespace {

// What the fake service answers: the current input, under the current status.
std::string reply;
int replyStatus = 200;

storage::StorageHTTPSession answering() {
  auto fetch = [](const helpers::URLRequest& request) {
    auto response = std::make_shared<helpers::HTTPURLResponse>();
    response->url = request.url;
    response->statusCode = replyStatus;
    return helpers::FetchResult{velmoria::base::dataFromString(reply), response};
  };
  return storage::StorageHTTPSession(fetch, nullptr);
}

const storage::ZirudezeStorageClient& client() {
  static const storage::ZirudezeStorageClient made(storage::StorageClientConfiguration(
      *velmoria::base::URL::parse("https://p.example/storage/v1"), {}, storage::storageJSONEncoder(),
      storage::storageJSONDecoder(), answering(), nullptr, false));
  return made;
}

template <class Operation>
void attempt(Operation&& operation) {
  try {
    operation();
  } catch (const std::exception&) {
  }
}

void exercise() {
  const auto& client = ::client();
  static const auto files = client.from("bucket");
  attempt([&] { (void)client.listBuckets(); });
  attempt([&] { (void)client.getBucket("b"); });
  attempt([&] { (void)files->list(); });
  attempt([&] { (void)files->remove({"a"}); });
  attempt([&] { (void)files->info("a"); });
  attempt([&] { (void)files->exists("a"); });
  attempt([&] { (void)files->copy("a", "b"); });
  attempt([&] { (void)files->upload("a.txt", velmoria::base::dataFromString("x")); });
  attempt([&] { (void)files->uploadToSignedURL("a.txt", "t", velmoria::base::dataFromString("x")); });
  attempt([&] { (void)files->createSignedUploadURL("a.txt"); });
  attempt([&] { (void)files->createSignedURL("a.txt", 60, true); });
  attempt([&] { (void)files->createSignedURLs({"a.txt", "b.txt"}, 60, "name"); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  reply = text;
  for (const int status : {200, 400}) {
    replyStatus = status;
    exercise();
  }
  const auto files = client().from("bucket");
  attempt([&] { (void)files->makeSignedURL(text, std::nullopt); });
  attempt([&] { (void)files->makeSignedURL(text, text); });
  return 0;
}
