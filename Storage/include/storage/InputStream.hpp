#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

#include "base/Data.hpp"

namespace zirudeze::storage {

// A source of bytes read front to back, as a multipart part's content.
class InputStream {
 public:
  virtual ~InputStream() = default;

  virtual void open() = 0;
  virtual void close() = 0;
  // False once the end was read or a read failed.
  virtual bool hasBytesAvailable() const = 0;
  // Up to buffer.size() bytes: their count, 0 at the end, a negative count on failure.
  virtual std::ptrdiff_t read(std::span<std::uint8_t> buffer) = 0;
  // Why the last read failed, when the stream knows; null otherwise.
  virtual std::exception_ptr streamError() const = 0;
  // The file the stream reads, when it reads one: a body sent as a stream reads that file itself, as it
  // goes out, instead of through this stream.
  virtual std::optional<std::filesystem::path> filePath() const { return std::nullopt; }
};

class MemoryInputStream final : public InputStream {
 public:
  explicit MemoryInputStream(velmoria::base::Data data);

  void open() override;
  void close() override {}
  bool hasBytesAvailable() const override;
  std::ptrdiff_t read(std::span<std::uint8_t> buffer) override;
  std::exception_ptr streamError() const override { return nullptr; }

 private:
  velmoria::base::Data data_;
  std::size_t position_ = 0;
};

// Reads a file through a buffered stream, opened when the stream is made.
class FileInputStream final : public InputStream {
 public:
  // Nothing when the file cannot be opened for reading.
  static std::unique_ptr<FileInputStream> make(const std::filesystem::path& path);

  void open() override {}
  void close() override;
  bool hasBytesAvailable() const override;
  std::ptrdiff_t read(std::span<std::uint8_t> buffer) override;
  std::exception_ptr streamError() const override { return error_; }
  std::optional<std::filesystem::path> filePath() const override { return path_; }

 private:
  struct Closer {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
  };
  FileInputStream(std::unique_ptr<std::FILE, Closer> file, std::filesystem::path path);

  std::unique_ptr<std::FILE, Closer> file_;
  std::filesystem::path path_;
  bool ended_ = false;
  std::exception_ptr error_;
};

}  // namespace zirudeze::storage
