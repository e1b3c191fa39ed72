#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testsupport/FakeBackend.hpp"

namespace velmoria::testsupport {

// One object as the fake storage service keeps it.
struct StoredObject {
  std::string content;
  std::string contentType;
  std::string cacheControl;
  std::string metadata;  // the "metadata" part's JSON text, "{}" when none came
  std::string id;
};

// The storage service's REST routes under "/storage/v1" on a FakeBackend, over an in-memory store of
// buckets and objects. Uploads are multipart bodies; refusals are storage error bodies with status 400;
// a HEAD for a missing object gets a bodiless 404. Safe to use from the server's connection threads.
class FakeStorage {
 public:
  explicit FakeStorage(FakeBackend& backend, std::string prefix = "/storage/v1");

  void addBucket(const std::string& id, bool isPublic = false);
  void putObject(const std::string& bucket, const std::string& path, std::string content,
                 std::string contentType = "application/octet-stream");
  std::optional<StoredObject> object(const std::string& bucket, const std::string& path) const;
  std::vector<std::string> bucketIds() const;
  std::size_t objectCount(const std::string& bucket) const;

  // The next request under the prefix gets this answer instead of the service's.
  void failNext(ScriptedResponse response);

  // An HTML page with status 500, as a proxy in front of the service answers when it breaks.
  static ScriptedResponse htmlServerError();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace velmoria::testsupport
