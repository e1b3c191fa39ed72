#include "storage/MultipartFormData.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

#include <nlohmann/json.hpp>

#include "BodyWriting.hpp"
#include "StreamedFormBody.hpp"
#include "base/SecureRandom.hpp"
#include "helpers/SharedJSONCoders.hpp"

namespace zirudeze::storage {
namespace {

using Kind = MultipartFormDataError::Kind;
using detail::appendText;

constexpr std::string_view kCRLF = "\r\n";

// A '"' would end the quoted value early; browsers write it as "%22" in form data.
std::string quotedFormValue(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  for (const char c : text) {
    if (c == '"')
      out.append("%22");
    else
      out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::uint64_t addSaturating(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

std::exception_ptr systemError(const std::error_code& code) { return std::make_exception_ptr(std::system_error(code)); }

// Closes a part's stream however its reading ends.
struct StreamCloser {
  InputStream* stream;
  ~StreamCloser() {
    if (stream) stream->close();
  }
};

}  // namespace

MultipartFormData::MultipartFormData(std::shared_ptr<const MimeTypes> mimeTypes)
    : boundary_(randomBoundary()),
      contentType_("multipart/form-data; boundary=" + boundary_),
      mimeTypes_(mimeTypes ? std::move(mimeTypes) : MimeTypes::system()) {}

std::string MultipartFormData::randomBoundary() {
  std::array<std::uint8_t, 8> bytes{};
  velmoria::base::fillSecureRandom(bytes);
  const auto word = [&](std::size_t at) {
    return static_cast<unsigned>(bytes[at]) << 24 | static_cast<unsigned>(bytes[at + 1]) << 16 |
           static_cast<unsigned>(bytes[at + 2]) << 8 | static_cast<unsigned>(bytes[at + 3]);
  };
  char text[64];
  std::snprintf(text, sizeof text, "zirudeze.boundary.%08x%08x", word(0), word(4));
  return text;
}

void MultipartFormData::record(MultipartFormDataError error) {
  if (!bodyPartError_) bodyPartError_.emplace(std::move(error));
}

void MultipartFormData::append(velmoria::base::Data data, std::string_view name, std::optional<std::string> fileName,
                               std::optional<std::string> mimeType) {
  const std::uint64_t length = data.size();
  append(std::make_unique<MemoryInputStream>(std::move(data)), length, contentHeaders(name, fileName, mimeType));
}

void MultipartFormData::append(const velmoria::base::URL& fileURL, std::string_view name) {
  const std::string fileName = fileURL.lastPathComponent();
  const std::string extension = fileURL.pathExtension();
  if (fileName.empty() || extension.empty()) {
    record(MultipartFormDataError(Kind::bodyPartFilenameInvalid, fileURL));
    return;
  }
  append(fileURL, name, fileName, mimeTypeForPathExtension(extension, *mimeTypes_));
}

void MultipartFormData::append(const velmoria::base::URL& fileURL, std::string_view name, std::string_view fileName,
                               std::string_view mimeType) {
  namespace fs = std::filesystem;
  http::HTTPFields headers = contentHeaders(name, std::string(fileName), std::string(mimeType));
  if (!fileURL.isFileURL()) return record(MultipartFormDataError(Kind::bodyPartURLInvalid, fileURL));

  const fs::path path = fileURL.path();
  std::error_code failure;
  const fs::file_status status = fs::status(path, failure);
  if (failure == std::errc::not_a_directory) {
    // A folder on the way is a file: nothing behind it can be reached.
    return record(MultipartFormDataError(Kind::bodyPartFileNotReachable, fileURL));
  }
  if (failure && failure != std::errc::no_such_file_or_directory) {
    return record(MultipartFormDataError(Kind::bodyPartFileNotReachableWithError, fileURL, systemError(failure)));
  }
  if (!fs::exists(status) || fs::is_directory(status)) {
    return record(MultipartFormDataError(Kind::bodyPartFileIsDirectory, fileURL));
  }
  if (!fs::is_regular_file(status)) {
    return record(MultipartFormDataError(Kind::bodyPartFileSizeNotAvailable, fileURL));
  }
  const std::uintmax_t size = fs::file_size(path, failure);
  if (failure) {
    return record(MultipartFormDataError(Kind::bodyPartFileSizeQueryFailedWithError, fileURL, systemError(failure)));
  }
  auto stream = FileInputStream::make(path);
  if (!stream) return record(MultipartFormDataError(Kind::bodyPartInputStreamCreationFailed, fileURL));
  append(std::move(stream), size, std::move(headers));
}

void MultipartFormData::append(std::unique_ptr<InputStream> stream, std::uint64_t length, http::HTTPFields headers) {
  BodyPart part;
  part.headers = std::move(headers);
  part.bodyStream = std::move(stream);
  part.bodyContentLength = length;
  bodyParts_.push_back(std::move(part));
}

std::uint64_t MultipartFormData::expectedSize() const {
  std::uint64_t total = 0;
  const std::uint64_t delimiter = 2 + boundary_.size() + 2;
  for (const auto& part : bodyParts_) {
    total = addSaturating(total, part.hasInitialBoundary ? delimiter : 2 + delimiter);
    for (const auto& field : part.headers) {
      const std::size_t valueSize =
          field.withValueBytes([](std::span<const std::uint8_t> bytes) { return bytes.size(); });
      total = addSaturating(total, field.name().rawName().size() + 2 + valueSize + 2);
    }
    total = addSaturating(total, 2);
    total = addSaturating(total, part.bodyContentLength);
    if (part.hasFinalBoundary) total = addSaturating(total, 2 + delimiter + 2);
  }
  return total;
}

void MultipartFormData::markBoundaries() {
  if (bodyParts_.empty()) return;
  bodyParts_.front().hasInitialBoundary = true;
  bodyParts_.back().hasFinalBoundary = true;
}

velmoria::base::Data MultipartFormData::encode() {
  if (bodyPartError_) throw *bodyPartError_;
  markBoundaries();
  velmoria::base::Data body;
  // One allocation for the whole body when the declared lengths are plausible; growth otherwise.
  constexpr std::uint64_t kLargestReservation = std::uint64_t{1} << 34;
  if (const std::uint64_t size = expectedSize(); size <= kLargestReservation) {
    try {
      body.reserve(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
      // Growth may still find the memory piece by piece.
    }
  }
  for (auto& part : bodyParts_) {
    encodeOpening(part, body);
    encodeContent(part, body);
    encodeClosing(part, body);
  }
  return body;
}

std::shared_ptr<const helpers::HTTPBodyStream> MultipartFormData::encodedStream() {
  if (bodyPartError_) throw *bodyPartError_;
  markBoundaries();
  std::vector<detail::StreamedFormBody::Segment> segments;
  velmoria::base::Data text;
  for (auto& part : bodyParts_) {
    encodeOpening(part, text);
    if (auto file = part.bodyStream ? part.bodyStream->filePath() : std::nullopt) {
      segments.emplace_back(std::exchange(text, velmoria::base::Data()));
      segments.emplace_back(detail::StreamedFormBody::FileContent{std::move(*file), part.bodyContentLength});
    } else {
      encodeContent(part, text);
    }
    encodeClosing(part, text);
  }
  segments.emplace_back(std::move(text));
  return std::make_shared<const detail::StreamedFormBody>(std::move(segments));
}

void MultipartFormData::encodeOpening(const BodyPart& part, velmoria::base::Data& body) const {
  appendText(body, part.hasInitialBoundary ? "--" : "\r\n--");
  appendText(body, boundary_);
  appendText(body, kCRLF);
  detail::appendHeaderLines(body, part.headers);
}

void MultipartFormData::encodeContent(BodyPart& part, velmoria::base::Data& body) const {
  std::uint64_t read = 0;
  if (InputStream* stream = part.bodyStream.get()) {
    const auto failed = [&](std::exception_ptr cause) {
      if (!cause) cause = std::make_exception_ptr(UnexpectedInputStreamLength(part.bodyContentLength, read));
      return MultipartFormDataError(Kind::inputStreamReadFailed, std::move(cause));
    };
    StreamCloser closer{stream};
    stream->open();
    std::vector<std::uint8_t> buffer(streamBufferSize_);
    while (stream->hasBytesAvailable()) {
      std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
      const std::ptrdiff_t count = stream->read(buffer);
      if (count < 0) throw failed(stream->streamError());
      if (count == 0) break;
      if (static_cast<std::size_t>(count) > buffer.size()) throw failed(nullptr);
      body.insert(body.end(), buffer.begin(), buffer.begin() + count);
      read += static_cast<std::uint64_t>(count);
    }
  }
  if (read != part.bodyContentLength) {
    throw MultipartFormDataError(Kind::inputStreamReadFailed,
                                 std::make_exception_ptr(UnexpectedInputStreamLength(part.bodyContentLength, read)));
  }
}

void MultipartFormData::encodeClosing(const BodyPart& part, velmoria::base::Data& body) const {
  if (!part.hasFinalBoundary) return;
  appendText(body, "\r\n--");
  appendText(body, boundary_);
  appendText(body, "--\r\n");
}

http::HTTPFields contentHeaders(std::string_view name, const std::optional<std::string>& fileName,
                                const std::optional<std::string>& mimeType) {
  std::string disposition = "form-data; name=" + quotedFormValue(name);
  if (fileName) disposition += "; filename=" + quotedFormValue(*fileName);
  http::HTTPFields headers;
  headers.append(http::HTTPField(http::HTTPField::Name::contentDisposition(), disposition));
  if (mimeType) headers.append(http::HTTPField(http::HTTPField::Name::contentType(), *mimeType));
  return headers;
}

velmoria::base::Data metadataJSON(const helpers::JSONObject& metadata) {
  try {
    return helpers::JSONEncoder::shared().encode(metadata);
  } catch (const velmoria::base::EncodingError&) {
  } catch (const nlohmann::json::exception&) {
  }
  return velmoria::base::dataFromString("{}");
}

}  // namespace zirudeze::storage
