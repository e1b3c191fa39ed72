#pragma once

#include <cstdint>
#include <exception>
#include <optional>

#include "base/URL.hpp"

namespace zirudeze::storage {

// Why a multipart body could not be built. The output-stream cases belong to writing a body to a file,
// which is not offered, and are never produced.
class MultipartFormDataError : public std::exception {
 public:
  enum class Kind {
    bodyPartURLInvalid,
    bodyPartFilenameInvalid,
    bodyPartFileNotReachable,
    bodyPartFileNotReachableWithError,
    bodyPartFileIsDirectory,
    bodyPartFileSizeNotAvailable,
    bodyPartFileSizeQueryFailedWithError,
    bodyPartInputStreamCreationFailed,
    outputStreamFileAlreadyExists,
    outputStreamURLInvalid,
    outputStreamCreationFailed,
    inputStreamReadFailed,
    outputStreamWriteFailed,
  };

  // The cases about a URL.
  MultipartFormDataError(Kind kind, velmoria::base::URL url, std::exception_ptr underlyingError = nullptr);
  // inputStreamReadFailed and outputStreamWriteFailed.
  MultipartFormDataError(Kind kind, std::exception_ptr underlyingError);

  Kind kind() const noexcept { return kind_; }
  const std::optional<velmoria::base::URL>& url() const noexcept { return url_; }
  const std::exception_ptr& underlyingError() const noexcept { return underlying_; }

  // The case's name.
  const char* what() const noexcept override;

 private:
  Kind kind_;
  std::optional<velmoria::base::URL> url_;
  std::exception_ptr underlying_;
};

// A stream that delivered another number of bytes than its part declared.
class UnexpectedInputStreamLength : public std::exception {
 public:
  UnexpectedInputStreamLength(std::uint64_t bytesExpected, std::uint64_t bytesRead) noexcept
      : bytesExpected(bytesExpected), bytesRead(bytesRead) {}

  std::uint64_t bytesExpected;
  std::uint64_t bytesRead;

  const char* what() const noexcept override { return "UnexpectedInputStreamLength"; }
};

const char* caseName(MultipartFormDataError::Kind kind) noexcept;

}  // namespace zirudeze::storage
