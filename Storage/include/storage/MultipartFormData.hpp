#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Data.hpp"
#include "base/URL.hpp"
#include "helpers/AnyJSON.hpp"
#include "helpers/HTTPBodyStream.hpp"
#include "httptypes/HTTPFields.hpp"
#include "storage/InputStream.hpp"
#include "storage/MimeTypes.hpp"
#include "storage/MultipartFormDataError.hpp"

namespace zirudeze::storage {

// A multipart/form-data body assembled in memory. Adding a part never throws: the first problem is
// kept and encode() reports it.
class MultipartFormData {
 public:
  struct BodyPart {
    http::HTTPFields headers;
    std::unique_ptr<InputStream> bodyStream;
    // The exact number of bytes the stream must deliver.
    std::uint64_t bodyContentLength = 0;
    bool hasInitialBoundary = false;
    bool hasFinalBoundary = false;
  };

  // With a fresh random boundary; media types of file parts come from `mimeTypes` (the system's
  // table when none is given).
  explicit MultipartFormData(std::shared_ptr<const MimeTypes> mimeTypes = nullptr);

  // "zirudeze.boundary." followed by 16 lower-case hexadecimal digits from the secure random source.
  static std::string randomBoundary();

  // "multipart/form-data; boundary=" + boundary().
  const std::string& contentType() const noexcept { return contentType_; }
  const std::string& boundary() const noexcept { return boundary_; }
  const std::vector<BodyPart>& bodyParts() const noexcept { return bodyParts_; }
  const std::optional<MultipartFormDataError>& bodyPartError() const noexcept { return bodyPartError_; }
  std::size_t streamBufferSize() const noexcept { return streamBufferSize_; }

  void append(velmoria::base::Data data, std::string_view name, std::optional<std::string> fileName = std::nullopt,
              std::optional<std::string> mimeType = std::nullopt);
  // File name and media type from the URL's last path component and its extension.
  void append(const velmoria::base::URL& fileURL, std::string_view name);
  void append(const velmoria::base::URL& fileURL, std::string_view name, std::string_view fileName,
              std::string_view mimeType);
  void append(std::unique_ptr<InputStream> stream, std::uint64_t length, http::HTTPFields headers);

  // The whole body. Throws the recorded MultipartFormDataError, or inputStreamReadFailed when a stream
  // fails or delivers another length than declared. Reads each stream once.
  velmoria::base::Data encode();
  // The same bytes as encode(), produced while they are sent, so a large file never sits in memory: the
  // delimiters, headers and other parts are written now, file parts are read from their files by each
  // reader. Throws as encode() does for everything but the files; a reader throws inputStreamReadFailed
  // when a file cannot be opened, fails to read, delivers another length than declared, or is removed
  // before all of it was read.
  std::shared_ptr<const helpers::HTTPBodyStream> encodedStream();

 private:
  void record(MultipartFormDataError error);
  void markBoundaries();
  void encodeOpening(const BodyPart& part, velmoria::base::Data& body) const;
  void encodeContent(BodyPart& part, velmoria::base::Data& body) const;
  void encodeClosing(const BodyPart& part, velmoria::base::Data& body) const;
  std::uint64_t expectedSize() const;

  std::string boundary_;
  std::string contentType_;
  std::shared_ptr<const MimeTypes> mimeTypes_;
  std::vector<BodyPart> bodyParts_;
  std::optional<MultipartFormDataError> bodyPartError_;
  std::size_t streamBufferSize_ = 1024;
};

// A part's headers: "Content-Disposition" (form-data with the name and, when given, the file name,
// each quoted with any '"' written as "%22"), then "Content-Type" when a media type is given.
http::HTTPFields contentHeaders(std::string_view name, const std::optional<std::string>& fileName,
                                const std::optional<std::string>& mimeType);

// The metadata part's content: the object as JSON, or "{}" when it cannot be encoded.
velmoria::base::Data metadataJSON(const helpers::JSONObject& metadata);

}  // namespace zirudeze::storage
