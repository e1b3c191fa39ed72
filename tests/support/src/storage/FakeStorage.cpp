#include "testsupport/FakeStorage.hpp"

#include <algorithm>
#include <mutex>
#include <set>

#include <nlohmann/json.hpp>

#include "FormBody.hpp"
#include "base/UUID.hpp"

namespace velmoria::testsupport {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kTimestamp = "2024-03-01T12:00:00.123Z";

ScriptedResponse storageError(const std::string& code, const std::string& error, const std::string& message) {
  return ScriptedResponse::json(400, Json{{"statusCode", code}, {"error", error}, {"message", message}}.dump());
}

ScriptedResponse notFound(const std::string& what) { return storageError("404", "not_found", what + " not found"); }

ScriptedResponse answer(const Json& body) { return ScriptedResponse::json(200, body.dump()); }

std::string freshID() {
  std::string text = base::UUID::random().uuidString();
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// "<bucket>/<path>" split at its first "/"; the path may be empty.
std::pair<std::string, std::string> bucketAndPath(std::string_view rest) {
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return {std::string(rest), {}};
  return {std::string(rest.substr(0, slash)), std::string(rest.substr(slash + 1))};
}

// Path text as the service writes it into signed URLs.
std::string encodedPath(std::string_view path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

Json parsedBody(const RecordedRequest& request) { return Json::parse(request.body, nullptr, false); }

// The service takes a size limit as text ("5MB", "100") and keeps it as a number of bytes.
Json sizeLimit(const Json& given) {
  if (!given.is_string()) return given;
  const std::string text = given;
  std::size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits == 0) return nullptr;
  std::string unit = text.substr(digits);
  std::transform(unit.begin(), unit.end(), unit.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  const std::map<std::string, std::int64_t> units{
      {"", 1}, {"B", 1}, {"KB", 1024}, {"MB", 1024 * 1024}, {"GB", 1024 * 1024 * 1024}};
  const auto factor = units.find(unit);
  if (factor == units.end()) return nullptr;
  return std::stoll(text.substr(0, digits)) * factor->second;
}

}  // namespace

struct FakeStorage::State {
  struct BucketEntry {
    bool isPublic = false;
    Json fileSizeLimit = nullptr;
    Json allowedMimeTypes = nullptr;
    std::map<std::string, StoredObject> objects;
  };
  struct UploadGrant {
    std::string bucket;
    std::string path;
    bool upsert = false;
  };

  std::string prefix;
  mutable std::mutex mutex;
  std::map<std::string, BucketEntry> buckets;
  std::map<std::string, std::pair<std::string, std::string>> signedDownloads;
  std::map<std::string, UploadGrant> uploadGrants;
  std::optional<ScriptedResponse> nextFailure;

  ScriptedResponse handle(const RecordedRequest& request) {
    std::lock_guard lock(mutex);
    if (nextFailure) {
      ScriptedResponse failure = std::move(*nextFailure);
      nextFailure.reset();
      return failure;
    }
    const std::string rest = request.path.substr(prefix.size());
    const std::string& method = request.method;
    if (rest == "/bucket" || startsWith(rest, "/bucket/")) return bucketRoute(method, rest, request);
    if (rest == "/object/move" && method == "POST") return moveOrCopy(request, false);
    if (rest == "/object/copy" && method == "POST") return moveOrCopy(request, true);
    if (startsWith(rest, "/object/list/") && method == "POST") return list(rest.substr(13), request);
    if (startsWith(rest, "/object/info/") && method == "GET") return info(rest.substr(13));
    if (startsWith(rest, "/object/upload/sign/")) return signedUpload(method, rest.substr(20), request);
    if (startsWith(rest, "/object/sign/")) return sign(method, rest.substr(13), request);
    if (startsWith(rest, "/object/public/") && method == "GET") return content(rest.substr(15), true);
    if (startsWith(rest, "/render/image/public/") && method == "GET") return content(rest.substr(21), true);
    if (startsWith(rest, "/render/image/authenticated/") && method == "GET") return content(rest.substr(28), false);
    if (startsWith(rest, "/object/")) return objectRoute(method, rest.substr(8), request);
    return ScriptedResponse::json(404, Json{{"statusCode", "404"},
                                            {"error", "not_found"},
                                            {"message", "Route " + method + ":" + request.path + " not found"}}
                                           .dump());
  }

  static Json bucketJSON(const std::string& id, const BucketEntry& bucket) {
    return Json{{"id", id},
                {"name", id},
                {"owner", ""},
                {"public", bucket.isPublic},
                {"file_size_limit", bucket.fileSizeLimit},
                {"allowed_mime_types", bucket.allowedMimeTypes},
                {"created_at", kTimestamp},
                {"updated_at", kTimestamp}};
  }

  ScriptedResponse bucketRoute(const std::string& method, const std::string& rest, const RecordedRequest& request) {
    if (rest == "/bucket") {
      if (method == "GET") {
        Json all = Json::array();
        for (const auto& [id, bucket] : buckets) all.push_back(bucketJSON(id, bucket));
        return answer(all);
      }
      if (method != "POST") return notFound("Route");
      const Json body = parsedBody(request);
      if (!body.is_object() || !body.contains("id") || !body["id"].is_string()) {
        return storageError("400", "invalid_request", "body must have an id");
      }
      const std::string id = body["id"];
      if (buckets.count(id)) return storageError("409", "Duplicate", "The resource already exists");
      BucketEntry& bucket = buckets[id];
      bucket.isPublic = body.value("public", false);
      if (body.contains("file_size_limit")) bucket.fileSizeLimit = sizeLimit(body["file_size_limit"]);
      if (body.contains("allowed_mime_types")) bucket.allowedMimeTypes = body["allowed_mime_types"];
      return answer(Json{{"name", id}});
    }
    std::string id = rest.substr(8);
    const bool empties = id.size() > 6 && id.compare(id.size() - 6, 6, "/empty") == 0;
    if (empties) id.resize(id.size() - 6);
    const auto found = buckets.find(id);
    if (found == buckets.end()) return storageError("404", "Bucket not found", "Bucket not found");
    if (empties && method == "POST") {
      found->second.objects.clear();
      return answer(Json{{"message", "Successfully emptied"}});
    }
    if (method == "GET") return answer(bucketJSON(id, found->second));
    if (method == "PUT") {
      const Json body = parsedBody(request);
      if (!body.is_object()) return storageError("400", "invalid_request", "body must be an object");
      found->second.isPublic = body.value("public", false);
      found->second.fileSizeLimit =
          body.contains("file_size_limit") ? sizeLimit(body["file_size_limit"]) : Json(nullptr);
      found->second.allowedMimeTypes = body.contains("allowed_mime_types") ? body["allowed_mime_types"] : Json(nullptr);
      return answer(Json{{"message", "Successfully updated"}});
    }
    if (method == "DELETE") {
      if (!found->second.objects.empty())
        return storageError("409", "InvalidRequest", "The bucket you tried to delete is not empty");
      buckets.erase(found);
      return answer(Json{{"message", "Successfully deleted"}});
    }
    return notFound("Route");
  }

  // Stores the file part of a multipart upload; nothing when the body is not a usable form.
  std::optional<ScriptedResponse> store(const std::string& bucketID, const std::string& path,
                                        const RecordedRequest& request, bool overwrite) {
    const auto bucket = buckets.find(bucketID);
    if (bucket == buckets.end()) return storageError("404", "Bucket not found", "Bucket not found");
    const auto boundary = storage::boundaryOf(request.header("Content-Type").value_or(""));
    const auto parts = boundary ? storage::readFormBody(request.body, *boundary) : std::nullopt;
    if (!parts) return storageError("400", "invalid_request", "the body is not multipart form data");
    StoredObject stored;
    stored.metadata = "{}";
    bool hasFile = false;
    for (const auto& part : *parts) {
      if (part.name == "cacheControl") {
        stored.cacheControl = part.content;
      } else if (part.name == "metadata") {
        stored.metadata = part.content;
      } else if (part.name == "" && part.fileName) {
        stored.content = part.content;
        stored.contentType = part.contentType.value_or("application/octet-stream");
        hasFile = true;
      }
    }
    if (!hasFile) return storageError("400", "invalid_request", "the form has no file part");
    auto& objects = bucket->second.objects;
    if (objects.count(path) && !overwrite) return storageError("409", "Duplicate", "The resource already exists");
    stored.id = freshID();
    objects[path] = std::move(stored);
    return std::nullopt;
  }

  ScriptedResponse objectRoute(const std::string& method, const std::string& rest, const RecordedRequest& request) {
    const auto [bucketID, path] = bucketAndPath(rest);
    if (path.empty() && method == "DELETE") return remove(bucketID, request);
    if (method == "POST" || method == "PUT") {
      const auto bucket = buckets.find(bucketID);
      const bool exists = bucket != buckets.end() && bucket->second.objects.count(path);
      if (method == "PUT" && !exists && bucket != buckets.end()) return notFound("Object");
      const bool overwrite = method == "PUT" || request.header("x-upsert") == "true";
      if (auto refused = store(bucketID, path, request, overwrite)) return std::move(*refused);
      return answer(Json{{"Key", bucketID + "/" + path}, {"Id", buckets[bucketID].objects[path].id}});
    }
    if (method == "HEAD") {
      const auto bucket = buckets.find(bucketID);
      if (bucket == buckets.end() || !bucket->second.objects.count(path)) {
        ScriptedResponse missing;
        missing.status = 404;
        return missing;
      }
      return ScriptedResponse::text(200, "");
    }
    if (method == "GET") return content(rest, false);
    return notFound("Route");
  }

  ScriptedResponse content(const std::string& rest, bool publicOnly) {
    const auto [bucketID, path] = bucketAndPath(rest);
    const auto bucket = buckets.find(bucketID);
    if (bucket == buckets.end() || (publicOnly && !bucket->second.isPublic)) return notFound("Bucket");
    const auto object = bucket->second.objects.find(path);
    if (object == bucket->second.objects.end()) return notFound("Object");
    ScriptedResponse response;
    response.body = object->second.content;
    response.headers.emplace_back("Content-Type", object->second.contentType);
    return response;
  }

  static Json fileJSON(const std::string& name, const StoredObject& object) {
    return Json{{"name", name},
                {"id", object.id},
                {"updated_at", kTimestamp},
                {"created_at", kTimestamp},
                {"last_accessed_at", kTimestamp},
                {"metadata",
                 {{"size", object.content.size()},
                  {"mimetype", object.contentType},
                  {"cacheControl", "max-age=" + object.cacheControl}}}};
  }

  ScriptedResponse remove(const std::string& bucketID, const RecordedRequest& request) {
    const Json body = parsedBody(request);
    if (!body.is_object() || !body.contains("prefixes") || !body["prefixes"].is_array()) {
      return storageError("400", "invalid_request", "body must have prefixes");
    }
    const auto bucket = buckets.find(bucketID);
    if (bucket == buckets.end()) return storageError("404", "Bucket not found", "Bucket not found");
    Json removed = Json::array();
    for (const auto& prefix : body["prefixes"]) {
      if (!prefix.is_string()) continue;
      const auto object = bucket->second.objects.find(prefix.get<std::string>());
      if (object == bucket->second.objects.end()) continue;
      Json entry = fileJSON(object->first, object->second);
      entry["bucket_id"] = bucketID;
      removed.push_back(entry);
      bucket->second.objects.erase(object);
    }
    return answer(removed);
  }

  ScriptedResponse list(const std::string& bucketID, const RecordedRequest& request) {
    const Json body = parsedBody(request);
    if (!body.is_object() || !body.contains("prefix") || !body["prefix"].is_string()) {
      return storageError("400", "invalid_request", "body must have a prefix");
    }
    const auto bucket = buckets.find(bucketID);
    if (bucket == buckets.end()) return storageError("404", "Bucket not found", "Bucket not found");
    std::string folder = body["prefix"];
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    const std::string search = body.value("search", "");
    std::vector<Json> entries;
    std::set<std::string> folders;
    for (const auto& [path, object] : bucket->second.objects) {
      if (!startsWith(path, folder)) continue;
      const std::string below = path.substr(folder.size());
      const std::size_t slash = below.find('/');
      const std::string name = below.substr(0, slash);
      if (!search.empty() && name.find(search) == std::string::npos) continue;
      if (slash != std::string::npos) {
        if (folders.insert(name).second) {
          entries.push_back(Json{{"name", name},
                                 {"id", nullptr},
                                 {"updated_at", nullptr},
                                 {"created_at", nullptr},
                                 {"last_accessed_at", nullptr},
                                 {"metadata", nullptr}});
        }
      } else {
        entries.push_back(fileJSON(name, object));
      }
    }
    const bool descending =
        body.contains("sortBy") && body["sortBy"].is_object() && body["sortBy"].value("order", "") == "desc";
    std::stable_sort(entries.begin(), entries.end(), [descending](const Json& a, const Json& b) {
      return descending ? a["name"].get<std::string>() > b["name"].get<std::string>()
                        : a["name"].get<std::string>() < b["name"].get<std::string>();
    });
    const auto offset = static_cast<std::size_t>(std::max<std::int64_t>(0, body.value("offset", std::int64_t{0})));
    const auto limit = static_cast<std::size_t>(std::max<std::int64_t>(0, body.value("limit", std::int64_t{100})));
    Json page = Json::array();
    for (std::size_t i = offset; i < entries.size() && page.size() < limit; ++i) page.push_back(entries[i]);
    return answer(page);
  }

  ScriptedResponse info(const std::string& rest) {
    const auto [bucketID, path] = bucketAndPath(rest);
    const auto bucket = buckets.find(bucketID);
    if (bucket == buckets.end()) return storageError("404", "Bucket not found", "Bucket not found");
    const auto object = bucket->second.objects.find(path);
    if (object == bucket->second.objects.end()) return notFound("Object");
    const StoredObject& stored = object->second;
    return answer(Json{{"id", stored.id},
                       {"version", "v-" + stored.id.substr(0, 8)},
                       {"name", path},
                       {"bucket_id", bucketID},
                       {"size", stored.content.size()},
                       {"content_type", stored.contentType},
                       {"cache_control", "max-age=" + stored.cacheControl},
                       {"etag", "\"" + stored.id.substr(0, 8) + "\""},
                       {"created_at", kTimestamp},
                       {"updated_at", kTimestamp},
                       {"last_modified", kTimestamp},
                       {"metadata", Json::parse(stored.metadata, nullptr, false)}});
  }

  ScriptedResponse moveOrCopy(const RecordedRequest& request, bool copies) {
    const Json body = parsedBody(request);
    for (const char* key : {"bucketId", "sourceKey", "destinationKey"}) {
      if (!body.is_object() || !body.contains(key) || !body[key].is_string()) {
        return storageError("400", "invalid_request", std::string("body must have ") + key);
      }
    }
    const std::string source = body["bucketId"];
    const std::string destination = body.contains("destinationBucket") && body["destinationBucket"].is_string()
                                        ? body["destinationBucket"].get<std::string>()
                                        : source;
    const auto from = buckets.find(source);
    const auto to = buckets.find(destination);
    if (from == buckets.end() || to == buckets.end())
      return storageError("404", "Bucket not found", "Bucket not found");
    const auto object = from->second.objects.find(body["sourceKey"].get<std::string>());
    if (object == from->second.objects.end()) return notFound("Object");
    StoredObject moved = object->second;
    const std::string key = body["destinationKey"];
    if (copies) {
      moved.id = freshID();
    } else {
      from->second.objects.erase(object);
    }
    to->second.objects[key] = std::move(moved);
    if (copies) return answer(Json{{"Key", destination + "/" + key}});
    return answer(Json{{"message", "Successfully moved"}});
  }

  ScriptedResponse sign(const std::string& method, const std::string& rest, const RecordedRequest& request) {
    const auto [bucketID, path] = bucketAndPath(rest);
    const auto bucket = buckets.find(bucketID);
    if (bucket == buckets.end()) return storageError("404", "Bucket not found", "Bucket not found");
    if (method == "GET") {
      const auto token = request.queryValue("token");
      const auto grant = token ? signedDownloads.find(*token) : signedDownloads.end();
      if (grant == signedDownloads.end() || grant->second != std::make_pair(bucketID, path)) {
        return storageError("400", "InvalidSignature", "The signature is invalid");
      }
      return content(rest, false);
    }
    if (method != "POST") return notFound("Route");
    const Json body = parsedBody(request);
    if (!body.is_object() || !body.contains("expiresIn") || !body["expiresIn"].is_number_integer()) {
      return storageError("400", "invalid_request", "expiresIn must be an integer");
    }
    // Clang 14 cannot capture a structured binding.
    const auto signedPath = [&, bucketID = bucketID](const std::string& objectPath) {
      const std::string token = "tok-" + freshID();
      signedDownloads[token] = {bucketID, objectPath};
      return "/object/sign/" + encodedPath(bucketID + "/" + objectPath) + "?token=" + token;
    };
    if (path.empty()) {
      if (!body.contains("paths") || !body["paths"].is_array())
        return storageError("400", "invalid_request", "paths must be a list");
      Json signedURLs = Json::array();
      for (const auto& entry : body["paths"]) {
        const std::string objectPath = entry.is_string() ? entry.get<std::string>() : std::string();
        if (bucket->second.objects.count(objectPath)) {
          signedURLs.push_back(Json{{"error", nullptr}, {"path", objectPath}, {"signedURL", signedPath(objectPath)}});
        } else {
          signedURLs.push_back(Json{{"error", "Either the object does not exist or you do not have access to it"},
                                    {"path", objectPath},
                                    {"signedURL", nullptr}});
        }
      }
      return answer(signedURLs);
    }
    if (!bucket->second.objects.count(path)) return notFound("Object");
    return answer(Json{{"signedURL", signedPath(path)}});
  }

  ScriptedResponse signedUpload(const std::string& method, const std::string& rest, const RecordedRequest& request) {
    const auto [bucketID, path] = bucketAndPath(rest);
    if (!buckets.count(bucketID)) return storageError("404", "Bucket not found", "Bucket not found");
    if (method == "POST") {
      const std::string token = "up-" + freshID();
      uploadGrants[token] = UploadGrant{bucketID, path, request.header("x-upsert") == "true"};
      return answer(Json{{"url", "/object/upload/sign/" + encodedPath(bucketID + "/" + path) + "?token=" + token}});
    }
    if (method != "PUT") return notFound("Route");
    const auto token = request.queryValue("token");
    const auto grant = token ? uploadGrants.find(*token) : uploadGrants.end();
    if (grant == uploadGrants.end() || grant->second.bucket != bucketID || grant->second.path != path) {
      return storageError("403", "Unauthorized", "invalid signature");
    }
    const bool overwrite = grant->second.upsert || request.header("x-upsert") == "true";
    if (auto refused = store(bucketID, path, request, overwrite)) return std::move(*refused);
    return answer(Json{{"Key", bucketID + "/" + path}});
  }
};

FakeStorage::FakeStorage(FakeBackend& backend, std::string prefix) : state_(std::make_shared<State>()) {
  state_->prefix = std::move(prefix);
  backend.route("*", state_->prefix + "/*",
                [state = state_](const RecordedRequest& request) { return state->handle(request); });
}

void FakeStorage::addBucket(const std::string& id, bool isPublic) {
  std::lock_guard lock(state_->mutex);
  state_->buckets[id].isPublic = isPublic;
}

void FakeStorage::putObject(const std::string& bucket, const std::string& path, std::string content,
                            std::string contentType) {
  std::lock_guard lock(state_->mutex);
  StoredObject& object = state_->buckets[bucket].objects[path];
  object.content = std::move(content);
  object.contentType = std::move(contentType);
  object.cacheControl = "3600";
  object.metadata = "{}";
  object.id = freshID();
}

std::optional<StoredObject> FakeStorage::object(const std::string& bucket, const std::string& path) const {
  std::lock_guard lock(state_->mutex);
  const auto found = state_->buckets.find(bucket);
  if (found == state_->buckets.end()) return std::nullopt;
  const auto object = found->second.objects.find(path);
  if (object == found->second.objects.end()) return std::nullopt;
  return object->second;
}

std::vector<std::string> FakeStorage::bucketIds() const {
  std::lock_guard lock(state_->mutex);
  std::vector<std::string> ids;
  for (const auto& [id, bucket] : state_->buckets) ids.push_back(id);
  return ids;
}

std::size_t FakeStorage::objectCount(const std::string& bucket) const {
  std::lock_guard lock(state_->mutex);
  const auto found = state_->buckets.find(bucket);
  return found == state_->buckets.end() ? 0 : found->second.objects.size();
}

void FakeStorage::failNext(ScriptedResponse response) {
  std::lock_guard lock(state_->mutex);
  state_->nextFailure = std::move(response);
}

ScriptedResponse FakeStorage::htmlServerError() {
  ScriptedResponse response;
  response.status = 500;
  response.headers.emplace_back("Content-Type", "text/html");
  response.body =
      "<html><head><title>500 Internal Server Error</title></head><body><h1>Internal Server Error</h1></body></html>";
  return response;
}

}  // namespace velmoria::testsupport
