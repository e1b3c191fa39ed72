#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Data.hpp"
#include "base/URL.hpp"
#include "base/URLComponents.hpp"
#include "storage/FileUpload.hpp"
#include "storage/StorageApi.hpp"
#include "storage/StorageOptions.hpp"
#include "storage/StorageRecords.hpp"
#include "storage/TransformOptions.hpp"

namespace zirudeze::storage {

class ZirudezeStorageClient;

// The object operations in one bucket; made by ZirudezeStorageClient::from.
class StorageFileApi : public StorageApi {
 public:
  class Key {
    Key() = default;
    friend class ZirudezeStorageClient;
  };
  StorageFileApi(Key, std::string bucketId, StorageClientConfiguration configuration);

  const std::string bucketId;

  // --- Writing: every upload goes as a multipart body; form errors are thrown before sending ----------
  // A file is read while it is sent: one that cannot be opened fails before anything is sent, one that
  // fails to read, changes length or is removed meanwhile fails the upload with inputStreamReadFailed
  // before its body is complete.

  // `method` is "POST" (upload) or "PUT" (update). Without options the defaults: cache "3600",
  // "text/plain;charset=UTF-8", no upsert.
  FileUploadResponse uploadOrUpdate(const helpers::HTTPRequest::Method& method, const std::string& path,
                                    FileUpload file, const std::optional<FileOptions>& options = std::nullopt) const;
  FileUploadResponse upload(const std::string& path, velmoria::base::Data data,
                            const std::optional<FileOptions>& options = std::nullopt) const;
  FileUploadResponse upload(const std::string& path, const velmoria::base::URL& fileURL,
                            const std::optional<FileOptions>& options = std::nullopt) const;
  FileUploadResponse update(const std::string& path, velmoria::base::Data data,
                            const std::optional<FileOptions>& options = std::nullopt) const;
  FileUploadResponse update(const std::string& path, const velmoria::base::URL& fileURL,
                            const std::optional<FileOptions>& options = std::nullopt) const;

  SignedUploadURL createSignedUploadURL(
      const std::string& path, const std::optional<CreateSignedUploadURLOptions>& options = std::nullopt) const;
  SignedURLUploadResponse uploadToSignedURL(const std::string& path, const std::string& token,
                                            velmoria::base::Data data,
                                            const std::optional<FileOptions>& options = std::nullopt) const;
  SignedURLUploadResponse uploadToSignedURL(const std::string& path, const std::string& token,
                                            const velmoria::base::URL& fileURL,
                                            const std::optional<FileOptions>& options = std::nullopt) const;
  SignedURLUploadResponse uploadToSignedURL(const std::string& path, const std::string& token, FileUpload file,
                                            const std::optional<FileOptions>& options = std::nullopt) const;

  // The object key only.
  [[deprecated("use upload")]] std::string uploadReturningKey(
      const std::string& path, velmoria::base::Data data,
      const std::optional<FileOptions>& options = std::nullopt) const;
  [[deprecated("use update")]] std::string updateReturningKey(
      const std::string& path, velmoria::base::Data data,
      const std::optional<FileOptions>& options = std::nullopt) const;
  [[deprecated("use uploadToSignedURL")]] std::string uploadToSignedURLReturningKey(
      const std::string& path, const std::string& token, velmoria::base::Data data,
      const std::optional<FileOptions>& options = std::nullopt) const;

  // --- Managing -----------------------------------------------------------------------------------

  void move(const std::string& from, const std::string& to,
            const std::optional<DestinationOptions>& options = std::nullopt) const;
  // The new object's key.
  std::string copy(const std::string& from, const std::string& to,
                   const std::optional<DestinationOptions>& options = std::nullopt) const;
  std::vector<FileObject> remove(const std::vector<std::string>& paths) const;
  // The folder `path` (the bucket's top when none); options default to 100 entries by name, ascending.
  std::vector<FileObject> list(const std::optional<std::string>& path = std::nullopt,
                               const std::optional<SearchOptions>& options = std::nullopt) const;
  FileObjectV2 info(const std::string& path) const;
  // False for a 400 or 404 answer; other failures are thrown.
  bool exists(const std::string& path) const;

  // --- URLs and content ----------------------------------------------------------------------------

  // `download` adds a "download" item with that text (the empty text: download under the object's name).
  velmoria::base::URL createSignedURL(const std::string& path, std::int64_t expiresIn,
                                      const std::optional<std::string>& download = std::nullopt,
                                      const std::optional<TransformOptions>& transform = std::nullopt) const;
  template <std::same_as<bool> Flag>
  velmoria::base::URL createSignedURL(const std::string& path, std::int64_t expiresIn, Flag download,
                                      const std::optional<TransformOptions>& transform = std::nullopt) const {
    return createSignedURL(path, expiresIn, downloadText(download), transform);
  }
  std::vector<velmoria::base::URL> createSignedURLs(const std::vector<std::string>& paths, std::int64_t expiresIn,
                                                    const std::optional<std::string>& download = std::nullopt) const;
  template <std::same_as<bool> Flag>
  std::vector<velmoria::base::URL> createSignedURLs(const std::vector<std::string>& paths, std::int64_t expiresIn,
                                                    Flag download) const {
    return createSignedURLs(paths, expiresIn, downloadText(download));
  }
  // The service's signed path and token under the configured URL; URLError badURL when unusable.
  velmoria::base::URL makeSignedURL(const std::string& signedURL, const std::optional<std::string>& download) const;

  // The object's bytes, through the image service when `transform` is given.
  velmoria::base::Data download(
      const std::string& path, const std::optional<TransformOptions>& transform = std::nullopt,
      const std::optional<std::vector<velmoria::base::URLQueryItem>>& query = std::nullopt) const;

  // No request is made: the bucket is not checked to be public nor the object to exist.
  velmoria::base::URL getPublicURL(const std::string& path, const std::optional<std::string>& download = std::nullopt,
                                   const std::optional<TransformOptions>& transform = std::nullopt) const;
  template <std::same_as<bool> Flag>
  velmoria::base::URL getPublicURL(const std::string& path, Flag download,
                                   const std::optional<TransformOptions>& transform = std::nullopt) const {
    return getPublicURL(path, downloadText(download), transform);
  }

 private:
  static std::optional<std::string> downloadText(bool download) {
    return download ? std::optional<std::string>(std::string()) : std::nullopt;
  }
  helpers::HTTPRequest uploadRequest(const helpers::HTTPRequest::Method& method, velmoria::base::URL url,
                                     const std::string& path, FileUpload file, const FileOptions& options,
                                     bool alwaysSendsUpsert) const;
  velmoria::base::URL objectURL(const std::string& pathBelowService) const;
};

}  // namespace zirudeze::storage
