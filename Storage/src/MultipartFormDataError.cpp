#include "storage/MultipartFormDataError.hpp"

namespace zirudeze::storage {

MultipartFormDataError::MultipartFormDataError(Kind kind, velmoria::base::URL url, std::exception_ptr underlyingError)
    : kind_(kind), url_(std::move(url)), underlying_(std::move(underlyingError)) {}

MultipartFormDataError::MultipartFormDataError(Kind kind, std::exception_ptr underlyingError)
    : kind_(kind), underlying_(std::move(underlyingError)) {}

const char* MultipartFormDataError::what() const noexcept { return caseName(kind_); }

const char* caseName(MultipartFormDataError::Kind kind) noexcept {
  using Kind = MultipartFormDataError::Kind;
  switch (kind) {
    case Kind::bodyPartURLInvalid:
      return "bodyPartURLInvalid";
    case Kind::bodyPartFilenameInvalid:
      return "bodyPartFilenameInvalid";
    case Kind::bodyPartFileNotReachable:
      return "bodyPartFileNotReachable";
    case Kind::bodyPartFileNotReachableWithError:
      return "bodyPartFileNotReachableWithError";
    case Kind::bodyPartFileIsDirectory:
      return "bodyPartFileIsDirectory";
    case Kind::bodyPartFileSizeNotAvailable:
      return "bodyPartFileSizeNotAvailable";
    case Kind::bodyPartFileSizeQueryFailedWithError:
      return "bodyPartFileSizeQueryFailedWithError";
    case Kind::bodyPartInputStreamCreationFailed:
      return "bodyPartInputStreamCreationFailed";
    case Kind::outputStreamFileAlreadyExists:
      return "outputStreamFileAlreadyExists";
    case Kind::outputStreamURLInvalid:
      return "outputStreamURLInvalid";
    case Kind::outputStreamCreationFailed:
      return "outputStreamCreationFailed";
    case Kind::inputStreamReadFailed:
      return "inputStreamReadFailed";
    case Kind::outputStreamWriteFailed:
      return "outputStreamWriteFailed";
  }
  return "unknown";
}

}  // namespace zirudeze::storage
